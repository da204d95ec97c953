#include "platform/PropertyListLimits.h"

#include <algorithm>
#include <vector>

namespace vantor::platform {
namespace {

constexpr size_t kTrailerSize = 32;
constexpr size_t kHeaderSize = 8;

std::uint64_t readBigEndian(const unsigned char* p, size_t width) {
  std::uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v = v << 8 | p[i];
  return v;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

class BinaryWalker {
 public:
  BinaryWalker(std::string_view bytes, const PropertyListLimits& limits)
      : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size()), limits_(limits) {}

  bool run() {
    if (size_ < kHeaderSize + kTrailerSize) return false;
    const unsigned char* trailer = data_ + size_ - kTrailerSize;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    std::uint64_t count = readBigEndian(trailer + 8, 8);
    std::uint64_t root = readBigEndian(trailer + 16, 8);
    tableOffset_ = readBigEndian(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return false;
    if (tableOffset_ < kHeaderSize || tableOffset_ > size_ - kTrailerSize) return false;
    if (count == 0 || count > (size_ - kTrailerSize - tableOffset_) / offsetSize_ || root >= count) return false;
    state_.assign(count, State{});
    return visit(root, 0);
  }

 private:
  enum class Mark : unsigned char { Unseen, Open, Done };
  struct State {
    Mark mark = Mark::Unseen;
    int height = 0;
    std::uint64_t nodes = 0;
    std::uint64_t payload = 0;
  };

  // The element count that follows a marker whose low nibble is 15; false when malformed.
  bool extendedCount(size_t& pos, std::uint64_t& count) const {
    if (pos >= tableOffset_) return false;
    unsigned char marker = data_[pos];
    if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) return false;
    size_t width = size_t{1} << (marker & 0x0F);
    if (width > tableOffset_ - pos - 1) return false;
    count = readBigEndian(data_ + pos + 1, width);
    pos += 1 + width;
    return true;
  }

  bool visit(std::uint64_t index, int depth) {
    if (depth > limits_.maxDepth) return false;
    State& st = state_[index];
    if (st.mark == Mark::Open) return false;  // a reference cycle
    if (st.mark == Mark::Done) return depth + st.height <= limits_.maxDepth && account(st);
    st.mark = Mark::Open;

    std::uint64_t offset = readBigEndian(data_ + tableOffset_ + index * offsetSize_, offsetSize_);
    if (offset < kHeaderSize || offset >= tableOffset_) return false;
    size_t pos = static_cast<size_t>(offset);
    unsigned char marker = data_[pos++];
    unsigned type = marker >> 4;
    std::uint64_t count = marker & 0x0F;
    bool container = type == 0xA || type == 0xB || type == 0xC || type == 0xD;
    bool sized = container || type == 0x4 || type == 0x5 || type == 0x6 || type == 0x7;
    if (sized && count == 0x0F && !extendedCount(pos, count)) return false;

    State result;
    result.nodes = 1;
    if (!container) {
      if (sized) result.payload = type == 0x6 ? saturatingAdd(count, saturatingAdd(count, count)) : count;
    } else {
      std::uint64_t refs = type == 0xD ? saturatingAdd(count, count) : count;
      if (refs > (tableOffset_ - pos) / refSize_) return false;
      for (std::uint64_t i = 0; i < refs; ++i) {
        std::uint64_t child = readBigEndian(data_ + pos + i * refSize_, refSize_);
        if (child >= state_.size()) return false;
        if (!visit(child, depth + 1)) return false;
        const State& c = state_[child];
        result.height = std::max(result.height, c.height + 1);
        result.nodes = saturatingAdd(result.nodes, c.nodes);
        result.payload = saturatingAdd(result.payload, c.payload);
        if (result.nodes > limits_.maxNodes || result.payload > limits_.maxPayloadBytes) return false;
      }
    }
    result.mark = Mark::Done;
    state_[index] = result;
    return true;
  }

  // A finished object reached again: its size is already part of the totals of the
  // container that is being summed, so only the limits need checking here.
  bool account(const State& st) const { return st.nodes <= limits_.maxNodes && st.payload <= limits_.maxPayloadBytes; }

  const unsigned char* data_;
  size_t size_;
  const PropertyListLimits& limits_;
  size_t offsetSize_ = 0;
  size_t refSize_ = 0;
  std::uint64_t tableOffset_ = 0;
  std::vector<State> state_;
};

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == ':' || c == '.';
}

}  // namespace

bool binaryPropertyListWithinLimits(std::string_view bytes, const PropertyListLimits& limits) {
  return BinaryWalker(bytes, limits).run();
}

bool xmlPropertyListWithinLimits(std::string_view text, const PropertyListLimits& limits) {
  int depth = 0;
  size_t pos = 0;
  auto skipPast = [&](std::string_view end) {
    size_t found = text.find(end, pos);
    pos = found == std::string_view::npos ? text.size() : found + end.size();
  };
  while ((pos = text.find('<', pos)) != std::string_view::npos) {
    std::string_view rest = text.substr(pos);
    if (rest.starts_with("<!--")) { skipPast("-->"); continue; }
    if (rest.starts_with("<![CDATA[")) { skipPast("]]>"); continue; }
    if (rest.starts_with("<?") || rest.starts_with("<!")) { skipPast(">"); continue; }
    bool closing = rest.starts_with("</");
    size_t nameStart = pos + (closing ? 2 : 1);
    size_t nameEnd = nameStart;
    while (nameEnd < text.size() && isNameCharacter(text[nameEnd])) ++nameEnd;
    std::string_view name = text.substr(nameStart, nameEnd - nameStart);
    pos = nameEnd;
    skipPast(">");
    bool selfClosing = pos >= 2 && text[pos - 1] == '>' && text[pos - 2] == '/';
    if (name != "array" && name != "dict") continue;
    if (closing) --depth;
    else if (!selfClosing && ++depth > limits.maxDepth) return false;
  }
  return true;
}

}  // namespace vantor::platform
