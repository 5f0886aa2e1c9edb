// The fifteen supported printer models, in the order of the model list.
// A row's index is its list position; nothing looks a row up by name.
#pragma once

namespace setup {

struct ModelRow {
    const char* modelName;     // driver and printer are registered under it
    const char* modelCode;     // base name of the model's .GPD file (NT family)
    const char* driverBase9x;  // base name of the .DRV file (Windows 9x)
    const char* driverBaseNt;  // base name of the family's .DLL (NT family)
    const char* displayName;   // model name padded to 12 columns, then "Series"
};

class ModelCatalogue {
public:
    static constexpr int kCount = 15;
    static bool contains(int index) { return index >= 0 && index < kCount; }
    // index must satisfy contains().
    static const ModelRow& row(int index);
};

}  // namespace setup
