// LZHUF decoding: the adaptive Huffman tree, the distance codes and the ring.
#include "diskimage/containers/lzhuf.h"

#include <cstring>

namespace diskimage {
namespace {

constexpr int kRebuildCount = 0x8000;

// Bits read most significant first, byte after byte.
class BitReader {
 public:
  BitReader(const unsigned char* in, size_t size) : in(in), bits(uint64_t{size} * 8) {}
  // Sets `bit` to the next bit; false at the stream's end.
  bool Next(int& bit) {
    if (at >= bits) return false;
    bit = (in[at / 8] >> (7 - at % 8)) & 1;
    ++at;
    return true;
  }

 private:
  const unsigned char* in;
  uint64_t bits;
  uint64_t at = 0;
};

// The upper six bits of a distance and the length of their code, from the code's first 8 bits.
void DistanceUpper(int first8, int& upper, int& code_bits) {
  if (first8 < 0x20) {
    upper = 0, code_bits = 3;
  } else if (first8 < 0x50) {
    upper = 1 + (first8 - 0x20) / 16, code_bits = 4;
  } else if (first8 < 0x90) {
    upper = 4 + (first8 - 0x50) / 8, code_bits = 5;
  } else if (first8 < 0xC0) {
    upper = 12 + (first8 - 0x90) / 4, code_bits = 6;
  } else if (first8 < 0xF0) {
    upper = 24 + (first8 - 0xC0) / 2, code_bits = 7;
  } else {
    upper = 48 + (first8 - 0xF0), code_bits = 8;
  }
}

}  // namespace

void LzhufTree::Reset() {
  for (int i = 0; i < kSymbols; ++i) {
    count[i] = 1;
    son[i] = static_cast<int16_t>(kNodes + i);
    parent[kNodes + i] = static_cast<int16_t>(i);
  }
  for (int i = 0, j = kSymbols; j < kNodes; i += 2, ++j) {
    count[j] = static_cast<uint16_t>(count[i] + count[i + 1]);
    son[j] = static_cast<int16_t>(i);
    parent[i] = parent[i + 1] = static_cast<int16_t>(j);
  }
  count[kNodes] = 0xFFFF;
  parent[kRoot] = 0;
}

void LzhufTree::Adopt(int link, int node) {
  parent[link] = static_cast<int16_t>(node);
  if (link < kNodes) parent[link + 1] = static_cast<int16_t>(node);
}

void LzhufTree::Rebuild() {
  int leaves = 0;
  for (int i = 0; i < kNodes; ++i) {
    if (son[i] >= kNodes) {
      count[leaves] = static_cast<uint16_t>((count[i] + 1) / 2);
      son[leaves] = son[i];
      ++leaves;
    }
  }
  for (int i = 0, j = kSymbols; j < kNodes; i += 2, ++j) {
    const unsigned sum = unsigned{count[i]} + count[i + 1];
    int at = j - 1;
    while (at >= 0 && sum < count[at]) --at;
    ++at;
    memmove(&count[at + 1], &count[at], sizeof count[0] * static_cast<size_t>(j - at));
    memmove(&son[at + 1], &son[at], sizeof son[0] * static_cast<size_t>(j - at));
    count[at] = static_cast<uint16_t>(sum);
    son[at] = static_cast<int16_t>(i);
  }
  for (int i = 0; i < kNodes; ++i) Adopt(son[i], i);
}

void LzhufTree::Update(int symbol) {
  if (count[kRoot] == kRebuildCount) Rebuild();
  int node = parent[kNodes + symbol];
  do {
    const uint16_t raised = ++count[node];
    if (raised > count[node + 1]) {
      // Move the node past the last one of a lower count.
      int last = node + 1;
      while (raised > count[last + 1]) ++last;
      count[node] = count[last];
      count[last] = raised;
      const int moving = son[node];
      const int other = son[last];
      son[last] = static_cast<int16_t>(moving);
      son[node] = static_cast<int16_t>(other);
      Adopt(moving, last);
      Adopt(other, node);
      node = last;
    }
    node = parent[node];
  } while (node != 0);
}

LzhufDistanceCode LzhufDistancePrefix(int upper) {
  if (upper == 0) return {0, 3};
  if (upper < 4) return {upper + 1, 4};
  if (upper < 12) return {upper + 6, 5};
  if (upper < 24) return {upper + 24, 6};
  if (upper < 48) return {upper + 72, 7};
  return {upper + 192, 8};
}

size_t LzhufDecode(const unsigned char* in, size_t size, unsigned char* out, size_t capacity,
                   bool& more) {
  more = false;
  LzhufTree tree;
  tree.Reset();
  unsigned char ring[kLzhufRingSize];
  memset(ring, ' ', sizeof ring);
  int r = kLzhufRingSize - kLzhufMaxMatch;
  BitReader bits(in, size);
  size_t written = 0;
  for (;;) {
    int node = tree.Child(LzhufTree::kRoot);
    int bit;
    while (node < LzhufTree::kNodes) {
      if (!bits.Next(bit)) return written;
      node = tree.Child(node + bit);
    }
    const int symbol = node - LzhufTree::kNodes;
    tree.Update(symbol);
    if (symbol < 256) {
      if (written == capacity) {
        more = true;
        return written;
      }
      out[written++] = static_cast<unsigned char>(symbol);
      ring[r] = static_cast<unsigned char>(symbol);
      r = (r + 1) % kLzhufRingSize;
      continue;
    }
    int first8 = 0;
    for (int i = 0; i < 8; ++i) {
      if (!bits.Next(bit)) return written;
      first8 = 2 * first8 + bit;
    }
    int upper, code_bits;
    DistanceUpper(first8, upper, code_bits);
    int low = first8;
    for (int i = 0; i < code_bits - 2; ++i) {
      if (!bits.Next(bit)) return written;
      low = 2 * low + bit;
    }
    const int distance = upper * 64 + (low & 63);
    const int from = (r - distance - 1 + kLzhufRingSize) % kLzhufRingSize;
    const int length = symbol - 256 + kLzhufMinMatch;
    for (int i = 0; i < length; ++i) {
      if (written == capacity) {
        more = true;
        return written;
      }
      const unsigned char byte = ring[(from + i) % kLzhufRingSize];
      out[written++] = byte;
      ring[r] = byte;
      r = (r + 1) % kLzhufRingSize;
    }
  }
}

}  // namespace diskimage
