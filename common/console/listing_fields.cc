// Listing fields: hexadecimal bytes and short decimals, written into stdout's buffer directly.
#include "common/console/listing_fields.h"

#include <cstdio>

void PrintHexFields(const unsigned char* bytes, int count) {
  static const char kDigits[] = "0123456789abcdef";
  char line[3 * 16];
  int length = 0;
  for (int i = 0; i < count; ++i) {
    if (length == sizeof line) {
      fwrite(line, 1, static_cast<size_t>(length), stdout);
      length = 0;
    }
    line[length++] = ' ';
    line[length++] = kDigits[bytes[i] >> 4];
    line[length++] = kDigits[bytes[i] & 0xF];
  }
  fwrite(line, 1, static_cast<size_t>(length), stdout);
}

void PrintDecimalField(unsigned value) {
  char digits[12];  // any unsigned, backwards
  int count = 0;
  unsigned rest = value;
  do {
    digits[count++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (count == 1) digits[count++] = '0';
  char field[13];
  field[0] = ' ';
  for (int i = 0; i < count; ++i) field[1 + i] = digits[count - 1 - i];
  fwrite(field, 1, static_cast<size_t>(count + 1), stdout);
}
