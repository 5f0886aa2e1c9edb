// What the Finish command hands to an installer: list positions read from the
// settings page, each an index into the catalogue tables, and the default flag.
#pragma once

#include "catalogue/model_catalogue.h"
#include "catalogue/serial_option_tables.h"

namespace setup {

struct InstallSelection {
    // Defaults are the settings page's own: first model, LPT1, 9600,N,8,1,
    // hardware flow control, made the default printer.
    int modelIndex = 0;
    int portIndex = 0;
    int baudIndex = 4;
    int dataBitsIndex = 3;
    int stopBitsIndex = 0;
    int parityIndex = 2;
    int flowIndex = 2;
    bool setAsDefault = true;

    // A list without a selection reads as -1; such a snapshot must not index
    // the tables.
    bool isValid() const {
        using T = SerialOptionTables;
        return ModelCatalogue::contains(modelIndex) && inRange(portIndex, T::kPortCount) &&
               inRange(baudIndex, T::kBaudCount) && inRange(dataBitsIndex, T::kDataBitsCount) &&
               inRange(stopBitsIndex, T::kStopBitsCount) && inRange(parityIndex, T::kParityCount) &&
               inRange(flowIndex, T::kFlowCount);
    }

private:
    static bool inRange(int index, int count) { return index >= 0 && index < count; }
};

}  // namespace setup
