// Boot scripts: the calculator language kept as a data file of engine commands
// (data/language/*.nxl), read into a list of commands and sent to the engine in
// order. The line format is documented at the top of data/language/phase1.nxl.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nomix {

// The engine's command entry, as exported by nxeng296 (`Nomix`).
using NomixEntry = intptr_t (*)(intptr_t command, const char *textArg, intptr_t miscArg1,
                                intptr_t miscArg2, intptr_t returnPtr, intptr_t t);

// The data types whose definition handles the application keeps.
enum class KeptType {
    Extended, Double, Single, Long, Dword, String, WideString, FixedString,
    Byte, LPCSTR, Stack, SortedList, Table, Void, Complex
};
inline constexpr size_t kKeptTypeCount = 15;

std::string_view keptTypeName(KeptType type);
// The kept type of that name (ASCII case ignored, as the engine compares names).
std::optional<KeptType> keptTypeByName(std::string_view name);

enum class BootCommandKind { Initialize, Message, Define, Syntax };

// One numeric argument of a command: resolved when the command is sent.
struct BootArgument {
    enum class Kind { Number, Routine, Type };
    Kind kind = Kind::Number;
    int64_t number = 0;                 // the number, or the routine number
    KeptType type = KeptType::Extended; // for Kind::Type
};

struct BootCommand {
    int line = 0;    // 1-based line in the file
    int number = 0;  // from a preceding "#[n]" comment, 0 when none
    BootCommandKind kind = BootCommandKind::Define;
    std::vector<BootArgument> args;  // MiscArg1, MiscArg2, ReturnPtr (at most three)
    std::string text;                // escapes already decoded
};

struct BootProblem {
    int line = 0;  // 0 when the file itself could not be read
    std::string message;
};

struct BootScript {
    std::vector<BootCommand> commands;
    std::vector<BootProblem> problems;  // malformed lines, which were skipped
};

// Reads boot-script text. Malformed lines are reported with their numbers and
// skipped; the rest is kept.
BootScript parseBootScript(std::string_view source);
// Reads a boot-script file; an unreadable file gives one problem with line 0.
BootScript readBootScriptFile(const std::filesystem::path &file);

// The directories searched for shipped data, in order: $NOMIX_DATA_DIR, share/nomix
// beside the executable's bin/ (when it exists), then the source tree's data/.
std::vector<std::filesystem::path> dataDirectories();
// The first existing file of that relative path in the data directories, or
// nullopt when none has it.
std::optional<std::filesystem::path> findDataFile(const std::filesystem::path &relative);
// The language file of the first bootstrap phase.
std::optional<std::filesystem::path> findLanguageFile();

enum class SendStatus {
    Sent,        // the command reached the engine
    Unresolved,  // a type:Name argument had no handle yet: not sent
    NoEngine     // no command entry was given
};

struct SendResult {
    int line = 0;
    int number = 0;
    BootCommandKind kind = BootCommandKind::Define;
    SendStatus status = SendStatus::Sent;
    intptr_t result = 0;  // the entry's result (an item handle for definitions)
    int32_t error = 0;    // the context's error code right after the command
};

// Sends boot commands through a command entry, resolving routine numbers and
// kept type handles as it goes.
class BootSender {
public:
    explicit BootSender(NomixEntry entry, intptr_t thread = 0);

    SendResult send(const BootCommand &command);
    std::vector<SendResult> sendAll(const std::vector<BootCommand> &commands);

    // The handle kept for a data type, 0 until its definition succeeded.
    intptr_t keptType(KeptType type) const;

    // One command through the entry on the sender's thread; the text travels as
    // an engine string. Returns 0 when there is no entry.
    intptr_t call(intptr_t command, std::string_view text, intptr_t miscArg1 = 0,
                  intptr_t miscArg2 = 0, intptr_t returnPtr = 0) const;
    // The same without a text argument.
    intptr_t callNoText(intptr_t command, intptr_t miscArg1 = 0, intptr_t miscArg2 = 0,
                        intptr_t returnPtr = 0) const;
    intptr_t routineAddress(int64_t routine) const;
    int32_t errorCode() const;

private:
    bool resolve(const BootArgument &argument, intptr_t &value) const;
    intptr_t sendResolved(const BootCommand &command, const std::array<intptr_t, 3> &args);
    void keepTypeHandle(const BootCommand &command, intptr_t handle);

    NomixEntry entry_;
    intptr_t thread_;
    std::array<intptr_t, kKeptTypeCount> kept_{};
};

// The type name a "DataType:" definition text defines or modifies, or empty when
// the text is not a data-type definition.
std::string_view definedTypeName(std::string_view text);

} // namespace nomix
