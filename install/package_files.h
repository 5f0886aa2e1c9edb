// The files each installation procedure copies from its package folder, in
// the order it copies them. The installers copy from this list and a caller
// can check the package against it before anything is written.
#pragma once

#include "catalogue/model_catalogue.h"
#include "common/bounded_text.h"
#include "install/install_options.h"
#include "install/os_class.h"

namespace setup {

// The family folders of the package, holding the files each procedure copies.
constexpr char kNtPackageFolder[] = "win2k";
constexpr char kWin9xPackageFolder[] = "win9x";

struct PackageFile {
    const char* source;       // name in the package's family folder
    const char* destination;  // name in the driver directory
    bool keepExisting;        // an installed file of that name is never replaced
};

class PackageFiles {
public:
    static constexpr int kMax = 8;

    PackageFiles(InstallFamily family, const ModelRow& model);
    // The entries point into the object's own names.
    PackageFiles(const PackageFiles&) = delete;
    PackageFiles& operator=(const PackageFiles&) = delete;

    const char* folder() const { return folder_; }  // "win2k", "win9x"; "" for no family
    int count() const { return count_; }
    const PackageFile& at(int index) const { return files_[index]; }

    // The source path of file `index`: "<package>\<folder>\<name>", or
    // "<folder>\<name>" under the current directory. False when it does not fit.
    bool sourcePath(const InstallOptions& options, int index, PathText& out) const;

    // The longest "\<folder>\<name>" of any model in either family, computed
    // from the catalogue so a new model with a longer name moves it.
    static std::size_t longestSourceTail();
    // Whether every file of every model can be read from a package folder of
    // this many characters through a full ANSI path.
    static bool packageFolderFits(std::size_t folderLength) {
        return folderLength + longestSourceTail() < kMaxPath;
    }

private:
    void add(const char* source, const char* destination, bool keepExisting = false);

    const char* folder_ = "";
    // The names made from the model's codes; the others are constants.
    BoundedText<32> driverName_;
    BoundedText<32> dataName_;
    PackageFile files_[kMax] = {};
    int count_ = 0;
};

}  // namespace setup
