// What the MSI's elevated custom actions are given, decided in one place:
// each property a user can set is checked against the catalogue before
// anything is written, and what reaches the elevated action is built from
// the catalogue's own names, never from the text the user gave, so no value
// can add an argument to the tool's command line. Plain logic; the custom
// action DLL links it without the C++ library.
#pragma once

#include <cstddef>

namespace setup {

// The properties the elevated action depends on, in the order they are checked.
enum class ActionProperty {
    Model,
    Port,
    Default,
    RememberedModel,
    RememberedPort,
    RememberedDefault,
    PackageModel,  // the model the package is built for
};
constexpr int kActionPropertyCount = 7;

// The property's name in the package ("MODEL", "REMEMBEREDPORT", ...).
const char* propertyName(ActionProperty property);

// Longest value read from a property; anything longer is refused unread.
constexpr std::size_t kMaxPropertyValue = 63;

// What the package was given, once every value has been checked.
struct ActionRequest {
    int modelIndex = -1;  // -1: no model given
    int portIndex = 0;    // LPT1 when none was given
    bool setAsDefault = false;
};

// Checks one value and, when it is good, takes it into request (what was
// given and what was remembered go into requests of their own). Returns null
// when the value is accepted, otherwise why it is not, for the log. An empty
// value is accepted: whether a model is required is the caller's to say.
const char* checkProperty(ActionProperty property, const char* value, ActionRequest& request);

// A value made safe to quote in a log line: printable ASCII kept, anything
// else as \xNN (tabs and line ends too, so no value can start a line of its
// own), cut with "..." to fit; always NUL-terminated.
void describeValue(const char* value, char* out, std::size_t size);

// The settings an installation runs with. A repair or reinstall of the
// installed product keeps what was installed unless an administrator gives
// new values: a standard user may start the repair of a per-machine product,
// which then runs elevated with the secure properties the user gave. On a
// first installation or an upgrade what was given counts (the remembered
// values already fill in what was not). kept says whether given values
// differed from the installed ones and were set aside.
ActionRequest settingsToRun(const ActionRequest& given, const ActionRequest& remembered,
                            bool maintenance, bool administrator, bool& kept);

// The tool runs as SYSTEM only from the package's own folder under Program
// Files (programFiles: where Windows keeps it, never a property a command
// line can set), which only administrators can change: any other folder
// INSTALLDIR names may be one users can write to. Letter case aside, the
// path must be exactly "<programFiles>\Tolmar Printer Driver\TolmarDeploy.exe".
bool isPackageTool(const char* toolPath, const char* programFiles);

enum class ActionCommand { Install, Remove };

// CustomActionData: "install|remove <TAB> model <TAB> port <TAB> 0|1 <TAB>
// tool path", the names the catalogue's, the path last and whole. False when
// it does not fit (out then holds "").
bool encodeActionData(ActionCommand command, const ActionRequest& request, const char* toolPath,
                      char* out, std::size_t size);

// Reads what encodeActionData wrote, checking every field again; data is cut
// into its fields in place. False for anything else.
struct DecodedActionData {
    ActionCommand command = ActionCommand::Install;
    ActionRequest request;
    const char* toolPath = "";
};
bool decodeActionData(char* data, DecodedActionData& decoded);

// The tool's arguments, the tool's path first, for a command: at most
// kMaxToolArguments, each one of the catalogue's names or a fixed option.
constexpr int kMaxToolArguments = 7;
int installArguments(const DecodedActionData& data, const char* out[kMaxToolArguments]);
int removeArguments(const DecodedActionData& data, const char* out[kMaxToolArguments]);

// Appends argument to a command line (a space first unless it is empty),
// quoted so that the C runtime reads it back as exactly this one argument.
// False when it does not fit; line then keeps what it had.
bool appendArgument(char* line, std::size_t size, const char* argument);

}  // namespace setup
