#pragma once
// A sorted list of names that ignores duplicates; order and equality compare ASCII letters
// without regard to case (other bytes by value).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// <0, 0 or >0 as a sorts before, equal to or after b, ASCII letters folded to upper case.
inline int CompareText(std::string_view a, std::string_view b) {
    auto fold = [](char c) -> uint8_t {
        auto u = static_cast<uint8_t>(c);
        return (u >= 'a' && u <= 'z') ? static_cast<uint8_t>(u - 'a' + 'A') : u;
    };
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        uint8_t x = fold(a[i]), y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool SameText(std::string_view a, std::string_view b) {
    return CompareText(a, b) == 0;
}

class TSortedStringList {
public:
    // Inserts text at its sorted position and returns that position; a text equal to one
    // already listed is not added and the position of the listed one is returned.
    size_t Add(std::string_view text) {
        size_t pos = LowerBound(text);
        if (pos < items_.size() && SameText(items_[pos], text)) return pos;
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), std::string(text));
        return pos;
    }
    // Position of text, or -1.
    int32_t IndexOf(std::string_view text) const {
        size_t pos = LowerBound(text);
        return pos < items_.size() && SameText(items_[pos], text) ? static_cast<int32_t>(pos) : -1;
    }
    bool Contains(std::string_view text) const { return IndexOf(text) >= 0; }
    void Delete(size_t pos) {
        if (pos < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(pos));
    }
    void Clear() { items_.clear(); }

    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](size_t pos) const { return items_[pos]; }
    const std::vector<std::string>& Strings() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    size_t LowerBound(std::string_view text) const {
        size_t lo = 0, hi = items_.size();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (CompareText(items_[mid], text) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    std::vector<std::string> items_;
};

} // namespace qrb::device
