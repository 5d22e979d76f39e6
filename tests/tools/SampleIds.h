// Ids of the generator's sample script.
#pragma once

#define IDI_SAMPLE 300
#define IDR_SAMPLE_MENU 301
#define IDD_DEFAULTS 302
#define IDD_FULL 303
#define IDS_SAMPLE 304
#define IDC_OFFSET (0x1000 + 0x20)
#define IDC_TEXT_NAME "not an id"
