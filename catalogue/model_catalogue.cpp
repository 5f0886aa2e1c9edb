#include "catalogue/model_catalogue.h"

namespace setup {
namespace {

constexpr ModelRow kRows[ModelCatalogue::kCount] = {
    {"QM-4712II", "QM4712II", "QM47", "QM47", "QM-4712II   Series"},
    {"QM-4712III", "QM4712III", "QM47", "QM47", "QM-4712III  Series"},
    {"QM-4716II", "QM4716II", "QM47", "QM47", "QM-4716II   Series"},
    {"QM-4718II", "QM4718II", "QM47", "QM47", "QM-4718II   Series"},
    {"QM-4718III", "QM4718III", "QM47", "QM47", "QM-4718III  Series"},
    {"QM-4720", "QM4720", "QM47", "QM47", "QM-4720     Series"},
    {"QM-4720X", "QM4720X", "QM47", "QM47", "QM-4720X    Series"},
    {"QM-4720II", "QM4720II", "QM47", "QM47", "QM-4720II   Series"},
    {"QM-47250", "QM47250", "QM47K", "QM47", "QM-47250    Series"},
    {"QM-4720XII", "QM4720XII", "QM47", "QM47", "QM-4720XII  Series"},
    {"QM-4706", "QM4706", "QM47V", "QM47", "QM-4706     Series"},
    {"QM-47240", "QM47240", "QM47K", "QM47", "QM-47240    Series"},
    {"QM-47240II", "QM47240II", "QM47K", "QM47", "QM-47240II  Series"},
    {"QM-4716III", "QM4716III", "QM47", "QM47", "QM-4716III  Series"},
    {"QM-4720XIII", "QM4720XIII", "QM47", "QM47", "QM-4720XIII Series"},
};

}  // namespace

const ModelRow& ModelCatalogue::row(int index) {
    return kRows[index];
}

}  // namespace setup
