#pragma once
// Resource numbers of the test masks (ui_tests.rc).
#define IDB_TEST_MASK_HALF 900
#define IDB_TEST_MASK_LASTCOL 901
#define IDB_TEST_MASK_WHITE 902
