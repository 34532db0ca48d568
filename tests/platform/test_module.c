/* A module for the loader tests: two plain C exports and a little state. */
static int calls;

__attribute__((visibility("default"))) int korvane_test_add(int a, int b) {
    ++calls;
    return a + b;
}

__attribute__((visibility("default"))) int korvane_test_calls(void) { return calls; }
