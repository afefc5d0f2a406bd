#include <ctype.h>
#include "strings.h"

/* TODO: handle UTF-8, not only ASCII */
void upper(char* text) {
  for (; *text; ++text) *text = (char)toupper((unsigned char)*text);
}
