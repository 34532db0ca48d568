/* A module that needs a symbol nobody provides: loading it must fail at once. */
extern int korvane_symbol_that_does_not_exist(void);

__attribute__((visibility("default"))) int korvane_test_broken(void) { return korvane_symbol_that_does_not_exist(); }
