// The one seam through which the emulator talks to the user: message boxes,
// questions and (later) file and number dialogs. The program installs a Qt
// backend; tests install a recording backend with scripted answers; with
// nothing installed, messages go to stderr and the default answer is taken.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

// The button that Enter presses: the one named when it is in the set, else
// the first one (OK or Yes).
MsgResult DefaultButton(MsgButtons buttons, std::optional<MsgResult> named = std::nullopt);

// A save-file dialog: filters as (label, pattern) pairs, the first one
// chosen at first; a typed name without an extension gets DefaultExt.
struct SaveFileRequest {
  std::string Title;
  std::vector<std::pair<std::string, std::string>> Filters;
  std::string DefaultExt;
  std::string InitialDir = ".";
  bool ConfirmOverwrite = true;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message box. Texts are UTF-8; lines are separated by '\n'.
  // defaultButton is one of the set: the answer that Enter gives.
  virtual MsgResult Message(std::string_view caption, std::string_view text, MsgButtons buttons,
                            MsgIcon icon, MsgResult defaultButton) = 0;
  // An input query: caption, prompt, one edit line holding text, OK and
  // Cancel. True on OK with the edited line in text; false on Cancel, text
  // unchanged. Without a user to ask (this default), the query is written to
  // stderr and cancelled.
  virtual bool InputQuery(std::string_view caption, std::string_view prompt, std::string& text);
  // A save-file dialog proposing fileName. True on OK with the chosen name
  // in fileName; false on Cancel, fileName unchanged. The default, with no
  // user to ask, writes the request to stderr and cancels.
  virtual bool SaveFileName(const SaveFileRequest& request, std::string& fileName);
};

// Writes every message to stderr and answers with its default button, as a
// user pressing Enter would.
class StderrDialogs final : public Dialogs {
 public:
  MsgResult Message(std::string_view caption, std::string_view text, MsgButtons buttons,
                    MsgIcon icon, MsgResult defaultButton) override;
};

// The dialogs of this module (the program or a library). Never null.
Dialogs& CurrentDialogs();
// Installs a backend; null restores the stderr backend. Returns the previous one.
Dialogs* SetDialogs(Dialogs* dialogs);

// A user-supplied text (a path, a settings value) cut to a length a message
// box can lay out: the start and the end kept, "..." between, never cutting
// a UTF-8 character.
std::string ShortenForMessage(std::string_view text, size_t max_bytes = 240);

// Every line of a message longer than this is shortened: a line that long can
// only hold a path or value the user supplied.
inline constexpr size_t kMessageLineBytes = 400;
std::string LimitLineLengths(std::string_view text);

// Shorthand for CurrentDialogs().Message(...), with over-long lines cut. A
// question that names no default button defaults to its first one.
inline MsgResult ShowMessage(std::string_view caption, std::string_view text,
                             MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None,
                             std::optional<MsgResult> defaultButton = std::nullopt) {
  const MsgResult enter = DefaultButton(buttons, defaultButton);
  if (text.size() <= kMessageLineBytes) return CurrentDialogs().Message(caption, text, buttons, icon, enter);
  return CurrentDialogs().Message(caption, LimitLineLengths(text), buttons, icon, enter);
}

// How a failure to write a file is told: in a box, or, when nobody may be
// there to answer one (the display has gone, a signal ends the program), as
// one line on stderr naming the file, so that the end is not held up.
enum class FailureReport { Box, Stderr };
// That line: "<program>: <fileName>: <text>".
void ReportOnStderr(std::string_view fileName, std::string_view text);

// Before a file is replaced: when fileName exists, asks "File exists!
// Overwrite?" with Cancel as the default, so that Enter keeps the file.
// True when the file may be written (it is new, or the user chose OK).
bool ConfirmOverwrite(const std::string& fileName);

}  // namespace platform
