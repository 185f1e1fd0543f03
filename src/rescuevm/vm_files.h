// The rescue VM's file and process helpers: downloads through the system's curl, unpacking
// through its tar (or PowerShell's Expand-Archive), the search for the emulator in the
// unpacked tree, and the folders they work in. The helper carries no download or archive
// code of its own: it builds command lines, waits, and judges by exit code and by the
// output file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace kelto::intake {
struct Context;
}

namespace kelto::rescuevm {

// A failure that travels to the one handler of LaunchRescueVm: its text is an English
// description naming the operation, the path and the Windows error, shown and logged as is.
class RescueVmFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The exit code RunAndWait reports for a program that could not be started.
inline constexpr std::int32_t kNotStarted = -1;

// Quote + text without any quote + quote: an embedded quote can never end the argument.
std::string QuoteArgument(std::string_view text);
// Every "'" doubled, as PowerShell wants it inside a single-quoted literal.
std::string EscapeSingleQuotes(std::string_view text);

// The command lines, each program given by its full path. curl reads no configuration file
// ("-q" first), and a download over TLS is never redirected to another protocol.
std::string CurlCommandLine(const std::string& curlPath, const std::string& url,
                            const std::string& outputPath);
std::string TarCommandLine(const std::string& tarPath, const std::string& zipPath, const std::string& folder);
std::string PowerShellCommandLine(const std::string& powerShellPath, const std::string& zipPath,
                                  const std::string& folder);

// Runs the command line with the window style and waits; the exit code as a 32-bit integer,
// kNotStarted when it could not be run.
std::int32_t RunAndWait(intake::Context& context, const std::string& commandLine, int windowStyle);

// True when curl ended with 0 and a regular file stands at the output path afterwards: one
// file with one name, no link.
bool DownloadFile(intake::Context& context, const std::string& url, const std::string& outputPath);
// tar first; when it fails or cannot be run, PowerShell.
bool ExtractZip(intake::Context& context, const std::string& zipPath, const std::string& folder);
bool ExpandArchiveWithPowerShell(intake::Context& context, const std::string& zipPath,
                                 const std::string& folder);

// Full path of the first "qemu-system-x86_64.exe" (in any letter case) in the tree: a
// folder's files before its subfolders, each in listing order. Links (junctions, symbolic
// links) are neither taken nor entered. Empty when there is none.
std::string FindQemuExecutable(intake::Context& context, const std::string& folder);

// Creates the folder and its missing parents, the one nearest the existing folder first.
// Throws RescueVmFailure when a folder cannot be created.
void EnsureFolder(intake::Context& context, const std::string& path);

// The parent folder of a path as the file-system object names it: "C:\Kelto" for
// "C:\Kelto\QEMU", "C:\" for "C:\file.exe" (a working folder of "C:" would mean the current
// folder on drive C), empty for a drive root or a bare name.
std::string GetParentFolder(std::string_view path);

// True when a regular file stands at the path (read from a handle that follows no link):
// not a folder, not a name-surrogate link, exactly one hard link.
bool IsRegularFile(intake::Context& context, const std::string& path);

// ---- the run folder: what one rescue VM run downloads, unpacks and starts ----

// The well-known SIDs of the run folder's access list.
inline constexpr const char* kAdministratorsSid = "S-1-5-32-544";
inline constexpr const char* kSystemSid = "S-1-5-18";

// Owner Administrators; Administrators and SYSTEM full control, the customer read and
// execute; inherited by everything inside, nothing inherited from above.
platform::FolderSecurity RunFolderSecurity(const std::string& customerSid);
// True for a folder made by RunFolderSecurity for any one customer.
bool IsRunFolderSecurity(const platform::FolderSecurity& security);

// A run folder, created and held open: nobody can rename or delete it while this lives.
struct RunFolder {
    std::string path;
    std::unique_ptr<platform::HeldPath> held;
};

// Removes the run folders of earlier runs from the QEMU folder, recognised by their owner
// and access list; one in use stays. Nothing else there is touched.
void RemoveEarlierRunFolders(intake::Context& context, const std::string& qemuFolder);

// Creates a new run folder under a name not in use; the customer's SID gives the reader.
// Nothing when what the creation holds is not a plain folder. Throws RescueVmFailure when no
// folder can be created.
std::optional<RunFolder> CreateRunFolder(intake::Context& context, const std::string& qemuFolder,
                                         const std::string& customerSid);


}  // namespace kelto::rescuevm
