#include "install/package_files.h"

namespace setup {

PackageFiles::PackageFiles(InstallFamily family, const ModelRow& model) {
    if (family == InstallFamily::Nt) {
        folder_ = "win2k";
        const BoundedText<32> familyDll{model.driverBaseNt, ".DLL"};
        const BoundedText<32> modelGpd{model.modelCode, ".GPD"};
        // Every file keeps its name.
        for (const char* name : {familyDll.c_str(), modelGpd.c_str(), "uniDRVui.DLL", "uniDRV.DLL",
                                 "UNIDRV.HLP", "UNIRES.DLL", "TTFSUB.GPD", "STDNAMES.GPD"}) {
            add(name, name);
        }
    } else if (family == InstallFamily::Win9x) {
        folder_ = "win9x";
        const BoundedText<32> driverFile{model.driverBase9x, ".DRV"};
        add(driverFile.c_str(), driverFile.c_str());
        add("iconlib.DLL", "iconlib.DLL");
        // The universal driver library may belong to other printers already.
        add("uniDRV.DLL", "uniDRV.DLL", true);
        add("uniDRV.hlp", "uniDRV.HLP");
    }
}

void PackageFiles::add(const char* source, const char* destination, bool keepExisting) {
    PackageFile& file = files_[count_++];
    file.source.append(source);
    file.destination.append(destination);
    file.keepExisting = keepExisting;
}

bool PackageFiles::sourcePath(const InstallOptions& options, int index, PathText& out) const {
    const char* package = options.packageFolder ? options.packageFolder : "";
    if (package[0] != '\0' && !out.append({package, "\\"})) return false;
    return out.append({folder_, "\\", files_[index].source.c_str()});
}

}  // namespace setup
