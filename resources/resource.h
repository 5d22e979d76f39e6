// Ids of the module's resources, shared by the resource scripts and the code.
#pragma once

#define IDS_PROJNAME 312
#define IDS_LONG_PRODUCT_NAME 328
