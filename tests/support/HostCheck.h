/* The host tests' check, in C: a check that fails is printed with its place
 * and counted, and the run goes on, so one run shows every broken slot. */
#pragma once
#include <stdio.h>

static int passed, failed;

#define CHECK(cond)                                                  \
    do {                                                             \
        if (cond) {                                                  \
            ++passed;                                                \
        } else {                                                     \
            ++failed;                                                \
            printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #cond); \
        }                                                            \
    } while (0)

/* The counts, and the exit status they give. */
static int CheckSummary(void) {
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
