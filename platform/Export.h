#pragma once
// Marks what the platform library exports; everything else in it stays hidden.

#define QM_PLATFORM_API __attribute__((visibility("default")))
