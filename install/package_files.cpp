#include "install/package_files.h"

#include <cstring>

namespace setup {

PackageFiles::PackageFiles(InstallFamily family, const ModelRow& model) {
    if (family == InstallFamily::Nt) {
        folder_ = kNtPackageFolder;
        driverName_.append({model.driverBaseNt, ".DLL"});
        dataName_.append({model.modelCode, ".GPD"});
        // Every file keeps its name.
        for (const char* name :
             {driverName_.c_str(), dataName_.c_str(), "uniDRVui.DLL", "uniDRV.DLL", "UNIDRV.HLP",
              "UNIRES.DLL", "TTFSUB.GPD", "STDNAMES.GPD"}) {
            add(name, name);
        }
    } else if (family == InstallFamily::Win9x) {
        folder_ = kWin9xPackageFolder;
        driverName_.append({model.driverBase9x, ".DRV"});
        add(driverName_.c_str(), driverName_.c_str());
        add("iconlib.DLL", "iconlib.DLL");
        // The universal driver library may belong to other printers already.
        add("uniDRV.DLL", "uniDRV.DLL", true);
        add("uniDRV.hlp", "uniDRV.HLP");
    }
}

void PackageFiles::add(const char* source, const char* destination, bool keepExisting) {
    PackageFile& file = files_[count_++];
    file.source = source;
    file.destination = destination;
    file.keepExisting = keepExisting;
}

bool PackageFiles::sourcePath(const InstallOptions& options, int index, PathText& out) const {
    const char* package = options.packageFolder ? options.packageFolder : "";
    return out.append(
        {package, package[0] != '\0' ? "\\" : "", folder_, "\\", files_[index].source});
}

std::size_t PackageFiles::longestSourceTail() {
    std::size_t longest = 0;
    for (const InstallFamily family : {InstallFamily::Nt, InstallFamily::Win9x}) {
        for (int model = 0; model < ModelCatalogue::kCount; ++model) {
            const PackageFiles files(family, ModelCatalogue::row(model));
            for (int i = 0; i < files.count(); ++i) {
                const std::size_t tail =
                    1 + std::strlen(files.folder()) + 1 + std::strlen(files.at(i).source);
                if (tail > longest) longest = tail;
            }
        }
    }
    return longest;
}

}  // namespace setup
