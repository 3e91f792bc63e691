/* Dereferences a null pointer: the test rig must see a failing exit status. */
#include <stdio.h>

int main(void) {
    volatile int* nowhere = 0;
    printf("about to crash\n");
    fflush(stdout);
    *nowhere = 1;
    return 0;
}
