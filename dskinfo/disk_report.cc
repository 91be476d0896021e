// A disk's report in text and in JSON.
#include "dskinfo/disk_report.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/console/output.h"
#include "common/console/shift_jis_names.h"

namespace {

using diskimage::DiskGeometry;
using diskimage::FileSystemKind;
using diskimage::Identification;

constexpr int kWidth = 80;
#ifdef _WIN32
constexpr bool kWindowsQuoting = true;
#else
constexpr bool kWindowsQuoting = false;
#endif
constexpr int kLabelWidth = 15;  // "  file system: " and the like

// One departure from the commonest shape, as a phrase: `count` things, "1 thing" or "N things".
struct Departure {
  int count;
  const char* one;
  const char* many;
};

constexpr int kDepartures = 10;
constexpr int kPhraseSize = 64;

// Fills `phrases` with the departures that apply; returns how many.
int Departures(const DiskGeometry& g, char phrases[][kPhraseSize]) {
  const Departure all[] = {
      {g.fm_track0 ? 1 : 0, "FM track 0", "FM track 0"},
      {g.fm_tracks - (g.fm_track0 ? 1 : 0), "1 other FM track", "%d other FM tracks"},
      {g.odd_count_tracks, "1 track of another sector count", "%d tracks of another sector count"},
      {g.odd_size_tracks, "1 track of another sector size", "%d tracks of another sector size"},
      {g.duplicate_id_tracks, "1 track with duplicate IDs", "%d tracks with duplicate IDs"},
      {g.long_tracks, "1 track of more than 64 sectors", "%d tracks of more than 64 sectors"},
      {g.error_sectors, "1 sector with an error status", "%d sectors with an error status"},
      {g.deleted_sectors, "1 deleted sector", "%d deleted sectors"},
      {g.empty_tracks, "1 empty track", "%d empty tracks"},
      {g.missing_tracks, "1 track missing (the image ends before it)",
       "%d tracks missing (the image ends before them)"},
  };
  int count = 0;
  for (const Departure& d : all) {
    if (d.count <= 0) continue;
    snprintf(phrases[count++], kPhraseSize, d.count == 1 ? d.one : d.many, d.count);
  }
  return count;
}

// Prints "label" padded to the label column, then `text` wrapped at word boundaries to 80
// columns, continuation lines indented to the label column. Counts bytes as columns, except
// UTF-8 continuation bytes.
void PrintField(const char* label, const char* text) {
  int column = OutPrintf("  %-*s", kLabelWidth - 2, label);
  const char* p = text;
  while (*p != '\0') {
    const char* word_end = strchr(p, ' ');
    if (word_end == nullptr) word_end = p + strlen(p);
    int word_columns = 0;
    for (const char* c = p; c < word_end; ++c) {
      if ((static_cast<unsigned char>(*c) & 0xC0) != 0x80) ++word_columns;
    }
    if (column > kLabelWidth && column + 1 + word_columns > kWidth) {
      column = OutPrintf("\n%*s", kLabelWidth, "") - 1;
    } else if (column > kLabelWidth) {
      OutChar(' ');
      ++column;
    }
    OutWrite(p, static_cast<size_t>(word_end - p));
    column += word_columns;
    p = *word_end == ' ' ? word_end + 1 : word_end;
  }
  OutChar('\n');
}

void FormatGeometry(const DiskGeometry& g, char* text, size_t size) {
  int length = g.tracks_present == 0
                   ? snprintf(text, size, "no track stored")
                   : snprintf(text, size, "%d cylinder%s x %d head%s x %d sectors x %d bytes",
                              g.cylinders, g.cylinders == 1 ? "" : "s", g.heads,
                              g.heads == 1 ? "" : "s", g.sectors_per_track, g.sector_size);
  char phrases[kDepartures][kPhraseSize];
  const int count = Departures(g, phrases);
  for (int i = 0; i < count && length >= 0 && static_cast<size_t>(length) < size; ++i) {
    length += snprintf(text + length, size - static_cast<size_t>(length), "%s%s",
                       i == 0 ? "; " : ", ", phrases[i]);
  }
}

// Writes `path` into `out` (`size` bytes, cut if need be) as a shell takes it back as one word:
// unchanged when it holds only letters, digits, bytes of UTF-8 and _-./:@%+=, ; otherwise quoted
// (POSIX shells: '...' with ' as '\''; Windows: "..."). A path that begins with "-" gets "./".
void QuoteForShell(const char* path, char* out, size_t size) {
  bool plain = *path != '\0';
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(path); *c != 0; ++c) {
    plain = plain && (isalnum(*c) || *c >= 0x80 || strchr("_-./:@%+=,", *c) != nullptr);
  }
  size_t length = 0;
  const auto put = [&](const char* text) {
    for (; *text != '\0' && length + 1 < size; ++text) out[length++] = *text;
  };
  if (path[0] == '-' && path[1] != '\0') put("./");
  if (plain) {
    put(path);
  } else {
    const char quote[2] = {kWindowsQuoting ? '"' : '\'', '\0'};
    put(quote);
    for (const char* c = path; *c != '\0'; ++c) {
      const char one[2] = {*c, '\0'};
      put(*c == '\'' && !kWindowsQuoting ? "'\\''" : one);
    }
    put(quote);
  }
  out[length] = '\0';
}

}  // namespace

const char* ReadingProgram(FileSystemKind kind, diskimage::ContainerKind container,
                           bool in_archive) {
  // dskcut and dskpull read D88 files; dskget reads the layouts anywhere.
  const bool d88 = container == diskimage::ContainerKind::kD88 && !in_archive;
  if (diskimage::IsFileSystem(kind)) return "dskget";
  switch (kind) {
    case FileSystemKind::kDskcut:
      return d88 ? "dskcut" : "dskget";
    case FileSystemKind::kDskpull:
      return d88 ? "dskpull" : "dskget";
    default:
      return nullptr;
  }
}

void PrintDiskText(const DiskReport& r, const char* image_path) {
  const Identification& id = r.identification;
  OutPrintf("disk %d: %s\n", r.index, r.name[0] != '\0' ? r.name : "(no name)");
  char text[512];
  const bool d88 = r.container == diskimage::ContainerKind::kD88;
  if (!d88) {
    const char* unrecorded = diskimage::ContainerUnrecorded(r.container);
    snprintf(text, sizeof text, "%s%s%s", diskimage::ContainerName(r.container),
             unrecorded[0] != '\0' ? ", which does not record " : "", unrecorded);
    PrintField("container:", text);
  }
  const char* protection = r.write_protected ? "write-protected" : "writable";
  if (d88) {
    snprintf(text, sizeof text, "%s (media byte %02Xh), %s", diskimage::MediaName(r.media), r.media,
             protection);
  } else {
    snprintf(text, sizeof text, "%s, %s", diskimage::MediaName(r.media), protection);
  }
  PrintField("media:", text);
  FormatGeometry(r.geometry, text, sizeof text);
  PrintField("geometry:", text);
  snprintf(text, sizeof text, "%s%s%s%s: %s", diskimage::FileSystemName(id.kind),
           id.variant[0] != '\0' ? " (" : "", id.variant, id.variant[0] != '\0' ? ")" : "",
           id.evidence);
  PrintField("contents:", text);
  if (r.label[0] != '\0') PrintField("label:", r.label);
  if (id.files >= 0) {
    int length =
        snprintf(text, sizeof text, "%" PRId64 " file%s", id.files, id.files == 1 ? "" : "s");
    if (id.directories > 0) {
      length += snprintf(text + length, sizeof text - length, " in %" PRId64 " folder%s + root",
                         id.directories, id.directories == 1 ? "" : "s");
    }
    if (id.bytes_used >= 0) {
      length += snprintf(text + length, sizeof text - length,
                         ", %" PRId64 " bytes used, %" PRId64 " bytes free", id.bytes_used,
                         id.bytes_free);
    }
    if (id.damaged > 0) {
      length += snprintf(text + length, sizeof text - length, ", %" PRId64 " damaged", id.damaged);
    }
    if (id.invalid_entries > 0) {
      snprintf(text + length, sizeof text - length,
               ", %" PRId64 " directory entr%s that no file or folder holds", id.invalid_entries,
               id.invalid_entries == 1 ? "y" : "ies");
    }
    PrintField("files:", text);
  }
  int length = 0;
  for (int i = 0; i < r.held_by_count; ++i) {
    length += snprintf(text + length, sizeof text - static_cast<size_t>(length), "%s%s",
                       i > 0 ? ", " : "", r.held_by[i]);
  }
  PrintField("held by:", r.held_by_count > 0 ? text : "no container whole");
  const char* program = ReadingProgram(id.kind, r.container, r.in_archive);
  if (program != nullptr) {
    char quoted[sizeof text - 16];
    QuoteForShell(image_path, quoted, sizeof quoted);
    snprintf(text, sizeof text, "%s %s", program, quoted);
  } else {
    snprintf(text, sizeof text, "no program here reads this disk");
  }
  // A command to paste: never wrapped.
  OutPrintf("  %-*s%s\n", kLabelWidth - 2, "read with:", text);
}

void PrintJsonString(const char* text) {
  OutChar('"');
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned char b = *p;
    int length = Utf8SequenceLength(p);
    if (b == '"' || b == '\\') {
      OutPrintf("\\%c", b);
    } else if (b < 0x20 || b == 0x7F || length == 0) {
      OutPrintf("\\u%04x", b);
      length = 1;
    } else {
      OutWrite(p, static_cast<size_t>(length));
    }
    p += length;
  }
  OutChar('"');
}

void PrintDiskJson(const DiskReport& r) {
  const DiskGeometry& g = r.geometry;
  const Identification& id = r.identification;
  OutPrintf("{\"index\": %d, \"folder\": \"%03d\", \"name\": ", r.index, r.index);
  PrintJsonString(r.name);
  OutPrintf(
      ", \"media\": \"%s\", \"media_byte\": %d, \"write_protected\": %s, \"disk_size\": %" PRId64,
      diskimage::MediaName(r.media), r.media, r.write_protected ? "true" : "false", r.disk_size);
  OutPrintf(
      ", \"tracks\": %d, \"cylinders\": %d, \"heads\": %d, \"sectors_per_track\": %d, "
      "\"sector_size\": %d, \"missing_tracks\": %d, \"departures\": [",
      g.tracks_present, g.cylinders, g.heads, g.sectors_per_track, g.sector_size, g.missing_tracks);
  char phrases[kDepartures][kPhraseSize];
  const int count = Departures(g, phrases);
  for (int i = 0; i < count; ++i) {
    if (i > 0) OutText(", ");
    PrintJsonString(phrases[i]);
  }
  OutPrintf("], \"file_system\": \"%s\", \"variant\": ", diskimage::FileSystemName(id.kind));
  if (id.variant[0] != '\0') {
    PrintJsonString(id.variant);
  } else {
    OutText("null");
  }
  OutText(", \"evidence\": ");
  PrintJsonString(id.evidence);
  OutText(", \"label\": ");
  if (r.label[0] != '\0') {
    PrintJsonString(r.label);
  } else {
    OutText("null");
  }
  const auto number_or_null = [](const char* key, int64_t value) {
    if (value >= 0) {
      OutPrintf(", \"%s\": %" PRId64, key, value);
    } else {
      OutPrintf(", \"%s\": null", key);
    }
  };
  number_or_null("files", id.files);
  number_or_null("directories", id.directories);
  number_or_null("bytes_used", id.bytes_used);
  number_or_null("bytes_free", id.bytes_free);
  number_or_null("damaged", id.damaged);
  number_or_null("invalid_entries", id.invalid_entries);
  OutText(", \"held_by\": [");
  for (int i = 0; i < r.held_by_count; ++i) OutPrintf("%s\"%s\"", i > 0 ? ", " : "", r.held_by[i]);
  OutChar(']');
  if (r.content_sha1 != nullptr) OutPrintf(", \"content_sha1\": \"%s\"", r.content_sha1);
  const char* program = ReadingProgram(id.kind, r.container, r.in_archive);
  OutText(", \"read_with\": ");
  if (program != nullptr) {
    PrintJsonString(program);
  } else {
    OutText("null");
  }
}
