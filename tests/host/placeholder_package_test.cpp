// The placeholder driver package (packaging/placeholder-package.cmake, made
// for the packages, the demo and the MSI tests) holds exactly the files the
// installers copy for some model, so a package built from it installs every
// model and carries nothing they never read.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "catalogue/model_catalogue.h"
#include "install/package_files.h"

namespace setup {
namespace {

TEST(PlaceholderPackage, HoldsExactlyTheFilesTheInstallersCopy) {
    std::set<std::string> needed;
    for (InstallFamily family : {InstallFamily::Nt, InstallFamily::Win9x}) {
        for (int i = 0; i < ModelCatalogue::kCount; ++i) {
            const PackageFiles files(family, ModelCatalogue::row(i));
            for (int f = 0; f < files.count(); ++f) {
                needed.insert(std::string(files.folder()) + "/" + files.at(f).source);
            }
        }
    }
    std::set<std::string> present;
    const std::filesystem::path root = SETUP_PLACEHOLDER_PACKAGE;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            present.insert(entry.path().lexically_relative(root).generic_string());
        }
    }
    EXPECT_EQ(present, needed);
}

}  // namespace
}  // namespace setup
