// diskimage: LZHUF (Okumura's LZSS with Yoshizaki's adaptive Huffman coding, 1988), the
// compression of Teledisk's "advanced" images: a 4096-byte ring preset to spaces, matches of 3 to
// 60 bytes, the match's distance coded in 9 to 14 bits.
#ifndef DISKIMAGE_CONTAINERS_LZHUF_H_
#define DISKIMAGE_CONTAINERS_LZHUF_H_

#include <cstddef>
#include <cstdint>

namespace diskimage {

// The adaptive Huffman tree of the 314 symbols: bytes 0-255, then matches of 3 to 60 bytes. Its
// nodes stay ordered by count; the counts are halved when the root's reaches 8000h.
class LzhufTree {
 public:
  static constexpr int kSymbols = 256 + 60 - 2;
  static constexpr int kNodes = 2 * kSymbols - 1;
  static constexpr int kRoot = kNodes - 1;

  // The tree every stream starts with: every symbol counted once.
  void Reset();
  // Counts one more use of `symbol` (0..kSymbols-1), reordering the nodes.
  void Update(int symbol);

  // For node n: its children are Child(n) and Child(n) + 1 while Child(n) < kNodes; a leaf's
  // Child is kNodes + its symbol.
  int Child(int node) const { return son[node]; }
  // The node above node n (0 for the root), or for kNodes + symbol the leaf that holds it.
  int Parent(int index) const { return parent[index]; }

 private:
  // Halves every count and builds the tree again from its leaves.
  void Rebuild();
  // Points the parent entries of child link `link` at `node`.
  void Adopt(int link, int node);

  uint16_t count[kNodes + 1];  // the last, FFFFh, stops the searches
  int16_t son[kNodes];
  int16_t parent[kNodes + kSymbols];
};

// Decodes the LZHUF stream of `size` bytes at `in` (no length prefix) into `out`, up to
// `capacity` bytes. Returns the bytes written: all the stream holds (a symbol its last bits cut
// short is dropped), or `capacity` with `more` set when the stream holds more. Any bytes give an
// answer; time is in proportion to the bytes written and read.
size_t LzhufDecode(const unsigned char* in, size_t size, unsigned char* out, size_t capacity,
                   bool& more);

// The ring, the match lengths and the distance codes both directions share.
constexpr int kLzhufRingSize = 4096;
constexpr int kLzhufMaxMatch = 60;
constexpr int kLzhufMinMatch = 3;
// The distance code of a distance's upper six bits (0..63): its first `bits` bits are `prefix`.
struct LzhufDistanceCode {
  int prefix;
  int bits;
};
LzhufDistanceCode LzhufDistancePrefix(int upper);

}  // namespace diskimage

#endif  // DISKIMAGE_CONTAINERS_LZHUF_H_
