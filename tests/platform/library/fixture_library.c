/* A library for the loader's tests: one exported function. */
__attribute__((visibility("default"))) int fixture_answer(void) {
    return FIXTURE_ANSWER;
}
