// The conversion table editor without its widgets: categories are added by
// name, pairs stored into a category (the same pair replaces, a new one goes
// after the category's last pair, so a category's pairs stay together),
// removed, and whole files imported. Saving is nomix::SaveFile.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/conversions.h"

namespace nomix {

class ConversionEditor {
public:
    ConversionEditor() = default;
    explicit ConversionEditor(ConversionTable table) : table_(std::move(table)) {}

    const ConversionTable &table() const { return table_; }

    // The entries of a category, in table order.
    std::vector<size_t> entriesOf(int category) const;

    // The category of that name (trimmed), added at the end when new; -1 with
    // `problem` set when the name cannot be a category.
    int addCategory(const std::string &name, std::string *problem = nullptr);

    // Stores a pair into the category. Empty or unwritable fields are refused
    // with the reason; the index of the stored entry otherwise.
    struct Stored {
        bool ok = false;
        size_t index = 0;
        std::string problem;
    };
    Stored store(int category, ConversionEntry entry);

    // Removes an entry; false when there is no such entry.
    bool remove(size_t index);

    // Import: every category of the other table merged by name, its pairs stored.
    // Returns the number of pairs stored.
    size_t import(const ConversionTable &other);

private:
    ConversionTable table_;
};

} // namespace nomix
