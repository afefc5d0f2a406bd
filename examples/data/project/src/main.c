#include <stdio.h>
#include "util/strings.h"

/* TODO: read the name from the command line */
int main(void) {
  char name[32] = "world";
  upper(name);
  printf("hello, %s\n", name);  /* FIXME: check the buffer size */
  return 0;
}
