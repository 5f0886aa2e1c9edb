#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"

namespace setup {
namespace {

TEST(ModelCatalogue, DisplayNameIsModelNamePaddedToTwelveColumnsThenSeries) {
    for (int i = 0; i < ModelCatalogue::kCount; ++i) {
        const ModelRow& row = ModelCatalogue::row(i);
        const std::string display = row.displayName;
        const std::string name = row.modelName;
        SCOPED_TRACE("row " + std::to_string(i));
        ASSERT_EQ(display.size(), 18u);
        EXPECT_EQ(display.substr(0, name.size()), name);
        EXPECT_EQ(display.substr(name.size(), 12 - name.size()),
                  std::string(12 - name.size(), ' '));
        EXPECT_EQ(display.substr(12), "Series");
    }
    // The longest name leaves exactly one blank.
    EXPECT_STREQ(ModelCatalogue::row(14).displayName, "QM-4720XIII Series");
}

TEST(ModelCatalogue, ModelCodeIsTheNameWithoutItsHyphen) {
    for (int i = 0; i < ModelCatalogue::kCount; ++i) {
        std::string name = ModelCatalogue::row(i).modelName;
        name.erase(name.find('-'), 1);
        EXPECT_EQ(name, ModelCatalogue::row(i).modelCode) << "row " << i;
    }
}

TEST(ModelCatalogue, DriverBasesByRow) {
    for (int i = 0; i < ModelCatalogue::kCount; ++i) {
        const char* expected9x = (i == 8 || i == 11 || i == 12) ? "QM47K"
                                 : i == 10                      ? "QM47V"
                                                                : "QM47";
        EXPECT_STREQ(ModelCatalogue::row(i).driverBase9x, expected9x) << "row " << i;
        EXPECT_STREQ(ModelCatalogue::row(i).driverBaseNt, "QM47") << "row " << i;
    }
}

TEST(ModelCatalogue, FirstAndLastRowsAreInListOrder) {
    EXPECT_STREQ(ModelCatalogue::row(0).modelName, "QM-4712II");
    EXPECT_STREQ(ModelCatalogue::row(10).modelName, "QM-4706");
    EXPECT_STREQ(ModelCatalogue::row(14).modelName, "QM-4720XIII");
    EXPECT_FALSE(ModelCatalogue::contains(-1));
    EXPECT_FALSE(ModelCatalogue::contains(15));
}

TEST(SerialOptionTables, PortNamesAreListTextWithColonAndSerialFromCom1) {
    for (int i = 0; i < SerialOptionTables::kPortCount; ++i) {
        const PortOption& port = SerialOptionTables::port(i);
        EXPECT_EQ(std::string(port.listText) + ":", port.portName);
        EXPECT_EQ(SerialOptionTables::isSerialPort(i),
                  std::string(port.listText).rfind("COM", 0) == 0)
            << port.listText;
    }
    EXPECT_STREQ(SerialOptionTables::port(0).listText, "LPT1");
    EXPECT_STREQ(SerialOptionTables::port(6).listText, "COM4");
}

TEST(SerialOptionTables, ParityLetterIsTheUpperCaseInitial) {
    for (int i = 0; i < SerialOptionTables::kParityCount; ++i) {
        const LetterOption& parity = SerialOptionTables::parity(i);
        EXPECT_EQ(std::string(1, static_cast<char>(std::toupper(parity.listText[0]))),
                  parity.modeLetter);
    }
    EXPECT_STREQ(SerialOptionTables::parity(2).listText, "None");
}

TEST(SerialOptionTables, FlowLettersAndListOrder) {
    EXPECT_STREQ(SerialOptionTables::flow(0).modeLetter, " ");
    EXPECT_STREQ(SerialOptionTables::flow(1).modeLetter, "x");
    EXPECT_STREQ(SerialOptionTables::flow(2).modeLetter, "p");
    EXPECT_STREQ(SerialOptionTables::flow(2).listText, "Hardware");
    EXPECT_STREQ(SerialOptionTables::baud(4), "9600");
    EXPECT_STREQ(SerialOptionTables::dataBits(3), "8");
    EXPECT_STREQ(SerialOptionTables::stopBits(1), "1.5");
}

}  // namespace
}  // namespace setup
