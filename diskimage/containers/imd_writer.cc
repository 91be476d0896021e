// Writing an IMD image: the "IMD" line with the image's date, an empty comment ended by 1Ah, then
// a record per track (mode, cylinder, head, sector numbers, the IDs' cylinders and heads where they
// differ from the track's, and a data record per sector, one repeated byte stored once).
#include <cstdio>

#include "diskimage/containers/container_writers.h"

namespace diskimage {
namespace {

// Day, month and year of the day `days` after 1970-01-01 (the proleptic Gregorian calendar).
void CivilDate(int64_t days, int& day, int& month, int64_t& year) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
}

// The data record of `s`: its type (01h data, 02h one repeated byte; +2 deleted, +4 a data error;
// 00h for a sector without a data mark), then its data cut or padded to `size` bytes.
bool WriteDataRecord(const DiskMap& map, const SectorHeader& s, int size, ByteSink& sink) {
  if (s.status == 0xF0) {
    const unsigned char none = 0x00;
    return sink.Write(&none, 1);
  }
  unsigned char value = 0;
  const bool repeated = s.data_size >= size && RepeatedByte(map, s, value);
  const unsigned char record[2] = {
      static_cast<unsigned char>(1 + (repeated ? 1 : 0) + (s.Deleted() ? 2 : 0) +
                                 (s.status != 0 ? 4 : 0)),
      value};
  if (repeated) return sink.Write(record, 2);
  return sink.Write(record, 1) && WriteSectorData(map, s, size, sink);
}

}  // namespace

bool WriteImdImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink) {
  const int64_t seconds = facts.image_time;
  const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const int64_t in_day = seconds - days * 86400;
  int day, month;
  int64_t year;
  CivilDate(days, day, month, year);
  char line[80];
  const int length =
      snprintf(line, sizeof line, "IMD 1.18: %02d/%02d/%04lld %02d:%02d:%02d\r\n\x1A", day, month,
               static_cast<long long>(year), static_cast<int>(in_day / 3600),
               static_cast<int>(in_day / 60 % 60), static_cast<int>(in_day % 60));
  if (!sink.Write(reinterpret_cast<const unsigned char*>(line), static_cast<size_t>(length))) {
    return false;
  }
  const int rate_mode = facts.media == 0x20 ? 0 : 2;  // 500 kbps or 250 kbps
  for (int track = 0; track < SectorSource::kTrackCount; ++track) {
    const int count = map.SectorCount(track);
    if (count == 0) continue;
    const SectorHeader& first = map.Sector(track, 0);
    const int size_code = first.n < 6 ? first.n : 6;
    unsigned char record[5 + 3 * DiskMap::kMaxSectorsPerTrack];
    record[0] = static_cast<unsigned char>(rate_mode + (first.Fm() ? 0 : 3));
    record[1] = static_cast<unsigned char>(track / 2);
    record[3] = static_cast<unsigned char>(count);
    record[4] = static_cast<unsigned char>(size_code);
    bool cylinders_differ = false, heads_differ = false;
    for (int i = 0; i < count; ++i) {
      const SectorHeader& s = map.Sector(track, i);
      record[5 + i] = s.r;
      cylinders_differ = cylinders_differ || s.c != track / 2;
      heads_differ = heads_differ || s.h != track % 2;
    }
    int length = 5 + count;
    for (int i = 0; cylinders_differ && i < count; ++i) record[length++] = map.Sector(track, i).c;
    for (int i = 0; heads_differ && i < count; ++i) record[length++] = map.Sector(track, i).h;
    record[2] = static_cast<unsigned char>(track % 2 | (cylinders_differ ? 0x80 : 0) |
                                           (heads_differ ? 0x40 : 0));
    if (!sink.Write(record, static_cast<size_t>(length))) return false;
    for (int i = 0; i < count; ++i) {
      if (!WriteDataRecord(map, map.Sector(track, i), 128 << size_code, sink)) return false;
    }
  }
  return true;
}

}  // namespace diskimage
