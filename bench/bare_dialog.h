// Ids of the bare dialog, shared by its code and its resource script.
#pragma once

#define IDD_BARE 100
