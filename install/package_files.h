// The files each installation procedure copies from its package folder, in
// the order it copies them. The installers copy from this list and a caller
// can check the package against it before anything is written.
#pragma once

#include "catalogue/model_catalogue.h"
#include "common/bounded_text.h"
#include "install/install_options.h"
#include "install/os_class.h"

namespace setup {

struct PackageFile {
    BoundedText<32> source;       // name in the package's family folder
    BoundedText<32> destination;  // name in the driver directory
    bool keepExisting;            // an installed file of that name is never replaced
};

class PackageFiles {
public:
    static constexpr int kMax = 8;

    PackageFiles(InstallFamily family, const ModelRow& model);

    const char* folder() const { return folder_; }  // "win2k", "win9x"; "" for no family
    int count() const { return count_; }
    const PackageFile& at(int index) const { return files_[index]; }

    // The source path of file `index`: "<package>\<folder>\<name>", or
    // "<folder>\<name>" under the current directory. False when it does not fit.
    bool sourcePath(const InstallOptions& options, int index, PathText& out) const;

private:
    void add(const char* source, const char* destination, bool keepExisting = false);

    const char* folder_ = "";
    PackageFile files_[kMax] = {};
    int count_ = 0;
};

}  // namespace setup
