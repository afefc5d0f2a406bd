#pragma once
/* TODO: a lower() to go with upper() */
void upper(char* text);
