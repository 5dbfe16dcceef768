#include "linux/ReportDescriptor.h"

#include <optional>
#include <vector>

namespace tandemo::linux_platform {
namespace {

constexpr std::size_t kMaxCollectionDepth = 32;
constexpr std::size_t kMaxGlobalStack = 4;  // the kernel's push depth
constexpr std::uint8_t kLongItemPrefix = 0xFE;

enum class ItemType : std::uint8_t { main = 0, global = 1, local = 2, reserved = 3 };

namespace MainTag {
constexpr std::uint8_t collection = 0xA;
constexpr std::uint8_t endCollection = 0xC;
}  // namespace MainTag
namespace GlobalTag {
constexpr std::uint8_t usagePage = 0x0;
constexpr std::uint8_t reportID = 0x8;
constexpr std::uint8_t push = 0xA;
constexpr std::uint8_t pop = 0xB;
}  // namespace GlobalTag
namespace LocalTag {
constexpr std::uint8_t usage = 0x0;
constexpr std::uint8_t usageMinimum = 0x1;
constexpr std::uint8_t usageMaximum = 0x2;
}  // namespace LocalTag

// A usage as page << 16 | id. Extended usages (four data bytes) carry their own page.
struct LocalUsage {
  std::uint32_t value = 0;
  bool extended = false;
};

std::uint32_t withPage(std::uint32_t page, std::uint32_t usage) { return (page << 16) | (usage & 0xFFFF); }

class Parser {
 public:
  explicit Parser(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  Expected<ReportDescriptorInfo, std::string> run() {
    if (bytes_.empty()) return fail("empty descriptor");
    if (bytes_.size() > kMaxReportDescriptorSize) return fail("descriptor longer than 4096 bytes");
    std::size_t pos = 0;
    while (pos < bytes_.size()) {
      const std::uint8_t prefix = bytes_[pos];
      if (prefix == kLongItemPrefix) {
        // Long items carry vendor data only: skip them whole.
        if (bytes_.size() - pos < 3) return fail("truncated long item at byte " + std::to_string(pos));
        const std::size_t length = 3 + std::size_t{bytes_[pos + 1]};
        if (bytes_.size() - pos < length) return fail("truncated long item at byte " + std::to_string(pos));
        pos += length;
        continue;
      }
      const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
      if (bytes_.size() - pos - 1 < size) return fail("truncated item at byte " + std::to_string(pos));
      std::uint32_t data = 0;
      for (std::size_t i = 0; i < size; ++i) data |= std::uint32_t{bytes_[pos + 1 + i]} << (8 * i);
      const auto type = static_cast<ItemType>((prefix >> 2) & 3);
      const auto tag = static_cast<std::uint8_t>(prefix >> 4);
      if (auto problem = item(type, tag, data, size); !problem.empty()) {
        return fail(problem + " at byte " + std::to_string(pos));
      }
      pos += 1 + size;
    }
    if (depth_ != 0) return fail("unbalanced collection at the end");
    if (info_.topLevel.empty()) return fail("no collection");
    return std::move(info_);
  }

 private:
  static Expected<ReportDescriptorInfo, std::string> fail(std::string reason) { return unexpected(std::move(reason)); }

  // An empty text when the item is acceptable, else what is wrong with it.
  std::string item(ItemType type, std::uint8_t tag, std::uint32_t data, std::size_t size) {
    switch (type) {
      case ItemType::main: return mainItem(tag, data);
      case ItemType::global: return globalItem(tag, data);
      case ItemType::local: localItem(tag, data, size); return {};
      case ItemType::reserved: return {};
    }
    return {};
  }

  std::string mainItem(std::uint8_t tag, std::uint32_t data) {
    if (tag == MainTag::collection) {
      if (depth_ == kMaxCollectionDepth) return "collections nested too deep";
      if (depth_ == 0) {
        const std::uint32_t usage = collectionUsage();
        info_.topLevel.push_back({usage >> 16, usage & 0xFFFF, static_cast<std::uint8_t>(data & 0xFF)});
      }
      ++depth_;
    } else if (tag == MainTag::endCollection) {
      if (depth_ == 0) return "end of a collection that was never opened";
      --depth_;
    }
    usages_.clear();  // local items end with every main item
    usageMinimum_.reset();
    return {};
  }

  std::string globalItem(std::uint8_t tag, std::uint32_t data) {
    switch (tag) {
      case GlobalTag::usagePage: usagePage_ = data; break;
      case GlobalTag::reportID:
        if (data == 0 || data > 0xFF) return "report ID " + std::to_string(data);
        info_.numbered = true;
        break;
      case GlobalTag::push:
        if (pushed_.size() == kMaxGlobalStack) return "global stack overflow";
        pushed_.push_back(usagePage_);
        break;
      case GlobalTag::pop:
        if (pushed_.empty()) return "global stack underflow";
        usagePage_ = pushed_.back();
        pushed_.pop_back();
        break;
      default: break;
    }
    return {};
  }

  void localItem(std::uint8_t tag, std::uint32_t data, std::size_t size) {
    const bool extended = size > 2;
    const auto usage = [&](std::uint32_t value) {
      return LocalUsage{extended ? value : withPage(usagePage_, value), extended};
    };
    if (tag == LocalTag::usage) {
      usages_.push_back(usage(data));
    } else if (tag == LocalTag::usageMinimum) {
      usageMinimum_ = usage(data);
    } else if (tag == LocalTag::usageMaximum && usageMinimum_) {
      // Only the first usage of a range ever names a collection: keep its ends.
      usages_.push_back(*usageMinimum_);
      usages_.push_back(usage(data));
      usageMinimum_.reset();
    }
  }

  // The collection's usage is its first local usage. As the kernel does, usages declared before
  // the last Usage Page item take that page, back to the newest one already on it.
  std::uint32_t collectionUsage() {
    for (auto it = usages_.rbegin(); it != usages_.rend(); ++it) {
      if (it->extended) continue;
      if ((it->value >> 16) == (usagePage_ & 0xFFFF)) break;
      it->value = withPage(usagePage_, it->value);
    }
    return usages_.empty() ? 0 : usages_.front().value;
  }

  std::span<const std::uint8_t> bytes_;
  ReportDescriptorInfo info_;
  std::size_t depth_ = 0;
  std::uint32_t usagePage_ = 0;
  std::vector<std::uint32_t> pushed_;
  std::vector<LocalUsage> usages_;  // at most one per item: bounded by the descriptor's size
  std::optional<LocalUsage> usageMinimum_;
};

}  // namespace

Expected<ReportDescriptorInfo, std::string> parseReportDescriptor(std::span<const std::uint8_t> bytes) {
  return Parser(bytes).run();
}

}  // namespace tandemo::linux_platform
