// A disk's files with their hashes, in dskinfo's three forms.
#include "dskinfo/file_catalogue.h"

#include <cinttypes>
#include <cstdio>

#include "common/catalogue/file_hashes.h"
#include "common/console/output.h"
#include "common/console/shift_jis_names.h"
#include "dskinfo/disk_report.h"

namespace {

// The hashes of a file as text.
struct HexHashes {
  char crc32[9], md5[33], sha1[41], sha256[65];
};

void FormatHashes(const FileHashes& h, HexHashes& hex) {
  snprintf(hex.crc32, sizeof hex.crc32, "%08" PRIx32, h.crc32);
  FormatHex(h.md5, sizeof h.md5, hex.md5);
  FormatHex(h.sha1, sizeof h.sha1, hex.sha1);
  FormatHex(h.sha256, sizeof h.sha256, hex.sha256);
}

}  // namespace

void PrintXmlText(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    int length = Utf8SequenceLength(p);
    const bool not_xml = length == 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE;
    if (length == 0 || not_xml || (*p < 0x20 && *p != '\t' && *p != '\n' && *p != '\r') ||
        *p == 0x7F) {
      OutPrintf("%%%02X", *p);
      length = 1;
    } else if (*p == '&') {
      OutText("&amp;");
    } else if (*p == '<') {
      OutText("&lt;");
    } else if (*p == '>') {
      OutText("&gt;");
    } else if (*p == '"') {
      OutText("&quot;");
    } else if (*p < 0x20) {
      OutPrintf("&#%d;", *p);  // kept in an attribute's value, which would make it a space
    } else {
      OutWrite(p, static_cast<size_t>(length));
    }
    p += length;
  }
}

void FileCatalogue::File(DiskTree& tree, const TreeItem& file) {
  Hasher hasher;
  hasher.Add(file.bytes, static_cast<size_t>(file.length));
  FileHashes hashes;
  hasher.Finish(hashes);
  HexHashes hex;
  FormatHashes(hashes, hex);
  const diskimage::DirectoryEntry& e = *file.entry;
  char damage[512] = "";
  if (file.damage.Any()) DescribeDamage(file.damage, e.size, damage, sizeof damage);
  const int64_t index = files++;
  switch (format) {
    case CatalogueFormat::kText:
      OutPrintf("    %10" PRId64 "  %s  %s  %s%s%s\n", file.length, hex.crc32, hex.sha1, tree.path,
                file.name, damage[0] != '\0' ? "  (damaged)" : "");
      break;
    case CatalogueFormat::kJson: {
      OutText(index > 0 ? ", {\"path\": " : "{\"path\": ");
      char path[kTreePathSize + kOutputNameSize];
      snprintf(path, sizeof path, "%s%s", tree.path, file.name);
      PrintJsonString(path);
      OutPrintf(", \"size\": %" PRId64 ", \"date\": ", file.length);
      if (e.has_date) {
        OutPrintf("\"%04d-%02d-%02dT%02d:%02d:%02d\"", e.date.year % 10000, e.date.month % 100,
                  e.date.day % 100, e.date.hour % 100, e.date.minute % 100, e.date.second % 100);
      } else {
        OutText("null");
      }
      OutText(", \"type\": ");
      PrintJsonString(file.type);
      OutText(", \"damage\": ");
      if (damage[0] != '\0') {
        PrintJsonString(damage);
      } else {
        OutText("null");
      }
      OutPrintf(", \"crc32\": \"%s\", \"md5\": \"%s\", \"sha1\": \"%s\", \"sha256\": \"%s\"}",
                hex.crc32, hex.md5, hex.sha1, hex.sha256);
      break;
    }
    case CatalogueFormat::kDat:
      OutText("\t\t<rom name=\"");
      PrintXmlText(disk_folder);
      OutChar('/');
      PrintXmlText(tree.path);
      PrintXmlText(file.name);
      OutPrintf("\" size=\"%" PRId64 "\" crc=\"%s\" md5=\"%s\" sha1=\"%s\" status=\"%s\"/>\n",
                file.length, hex.crc32, hex.md5, hex.sha1, damage[0] != '\0' ? "baddump" : "good");
      break;
  }
}
