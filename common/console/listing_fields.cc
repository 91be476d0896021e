// Listing fields: hexadecimal bytes and short decimals, written as whole fields.
#include "common/console/listing_fields.h"

#include "common/console/output.h"

void PrintHexFields(const unsigned char* bytes, int count) {
  static const char kDigits[] = "0123456789abcdef";
  char line[3 * 16];
  int length = 0;
  for (int i = 0; i < count; ++i) {
    if (length == sizeof line) {
      OutWrite(line, static_cast<size_t>(length));
      length = 0;
    }
    line[length++] = ' ';
    line[length++] = kDigits[bytes[i] >> 4];
    line[length++] = kDigits[bytes[i] & 0xF];
  }
  OutWrite(line, static_cast<size_t>(length));
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
  OutWrite(field, static_cast<size_t>(count + 1));
}
