#pragma once
// A list of texts, each with an object the list owns: the model's device, channel and sensor
// lists. Unsorted lists keep the order of addition; a sorted list keeps its texts in order
// without regard to ASCII case and ignores a text it already holds.

#include "device/StringList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qrb::model {

template <class T> class TObjectList {
public:
    struct TEntry {
        std::string Text;
        std::unique_ptr<T> Object;
    };

    explicit TObjectList(bool sorted = false) : sorted_(sorted) {}

    bool Sorted() const { return sorted_; }

    // The position of the new entry. A sorted list that already holds text keeps its entry,
    // drops object and returns the listed position.
    int Add(std::string text, std::unique_ptr<T> object) {
        size_t pos = entries_.size();
        if (sorted_) {
            pos = LowerBound(text);
            if (pos < entries_.size() && device::SameText(entries_[pos].Text, text))
                return static_cast<int>(pos);
        }
        entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(pos),
                        TEntry{std::move(text), std::move(object)});
        return static_cast<int>(pos);
    }

    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }

    // Null outside 0..Count()-1.
    T* Object(int index) const {
        return Valid(index) ? entries_[static_cast<size_t>(index)].Object.get() : nullptr;
    }
    // Empty outside 0..Count()-1.
    const std::string& Text(int index) const {
        static const std::string none;
        return Valid(index) ? entries_[static_cast<size_t>(index)].Text : none;
    }

    // The first position whose text equals text without regard to ASCII case, or -1.
    int IndexOf(std::string_view text) const {
        if (sorted_) {
            size_t pos = LowerBound(text);
            return pos < entries_.size() && device::SameText(entries_[pos].Text, text) ? static_cast<int>(pos)
                                                                                       : -1;
        }
        for (size_t i = 0; i < entries_.size(); ++i)
            if (device::SameText(entries_[i].Text, text)) return static_cast<int>(i);
        return -1;
    }

    // Frees the entry's object; positions after it move down by one.
    void Delete(int index) {
        if (Valid(index)) entries_.erase(entries_.begin() + index);
    }
    // Frees every object, then empties the list.
    void Clear() {
        for (auto& e : entries_)
            e.Object.reset();
        entries_.clear();
    }

    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    size_t LowerBound(std::string_view text) const {
        size_t lo = 0, hi = entries_.size();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (device::CompareText(entries_[mid].Text, text) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    bool sorted_;
    std::vector<TEntry> entries_;
};

} // namespace qrb::model
