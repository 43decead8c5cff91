#pragma once

// The words TEMP.BAT is made of, for the script's own files: the text rules (Script.cpp) and the
// plan of a Decode (Planner.cpp).

#include "Script.h"

#include <optional>
#include <string>
#include <string_view>

namespace tw::scripttext {

// What a format puts into the script: the output's extension and the decoder's switch.
struct FormatText {
    const wchar_t* extension;
    const wchar_t* decoderSwitch;
};

// The one table of the formats' texts; without a default, a format missing there fails the build.
FormatText textOf(OutputFormat format);

// A character as a message names it: "a tab", "the control character U+0007", "\":\"".
std::wstring describe(wchar_t c);
// The text with control characters spelled out, so a message can show it on one line.
std::wstring visible(std::wstring_view text);
// Why `what` (a folder the lines name) cannot go into the script, with `advice`; nothing when
// it can.
std::optional<std::wstring> checkCarriable(std::wstring_view text, const std::wstring& what,
                                           const wchar_t* advice);
std::wstring cutLast(const std::wstring& text, std::size_t count);

// A short path goes into the decoder line without quotes: the first character it holds that
// splits an argument or that no line can carry.
std::optional<wchar_t> unquotableCharacter(std::wstring_view path);
// A name in a message: visible, in double quotes.
std::wstring quotedName(const std::wstring& name);

// Names for an output whose short name would name another file: the short title's base, with
// "_" for its "~" and for anything but letters, digits and "-", and a number, e.g. LONGSO_1. The
// system never gives a short name without a "~", so none of these can be one it makes.
std::wstring intermediateName(const std::wstring& shortTitle, unsigned number,
                              const std::wstring& extension);
constexpr unsigned kIntermediateNames = 99;

// One line of the script, appended straight to it. Every piece goes through appendScriptText;
// the quotes of the rename line are the only characters added around it.
class ScriptLine {
public:
    explicit ScriptLine(std::wstring& script) : m_script(script) {}
    ScriptLine& plain(std::wstring_view text) {
        appendScriptText(m_script, text, false);
        return *this;
    }
    ScriptLine& quoted(std::wstring_view text) {
        m_script += L'"';
        appendScriptText(m_script, text, true);
        m_script += L'"';
        return *this;
    }
    void end() { m_script += L"\r\n"; }

private:
    std::wstring& m_script;
};

} // namespace tw::scripttext
