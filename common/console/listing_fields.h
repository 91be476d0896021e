// The numeric fields of a listing line, printed without a formatted print: a listing has a line
// for every file of the image.
#ifndef COMMON_CONSOLE_LISTING_FIELDS_H_
#define COMMON_CONSOLE_LISTING_FIELDS_H_

// Prints, on standard output, a space and two lower-case hexadecimal digits for each of the
// `count` bytes at `bytes`, as printf's " %02x" does for each.
void PrintHexFields(const unsigned char* bytes, int count);

// Prints, on standard output, a space and `value` in decimal with at least two digits, as
// printf's " %02u" does.
void PrintDecimalField(unsigned value);

#endif  // COMMON_CONSOLE_LISTING_FIELDS_H_
