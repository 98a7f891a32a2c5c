#pragma once

// Resource ids shared by ZORPA.rc and the program.
#define IDI_ZORPA 1
