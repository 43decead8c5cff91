#include "Script.h"

#include "Module1.h"
#include "ScriptText.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/names/NameModel.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tw {

namespace {

using namespace scripttext;

// The whole Decode, played through the model of the folders as the script will change them.
class Planner {
public:
    Planner(const Platform& platform, const DecodeInput& input, const AppState& state,
            BatchScript& script)
        : m_platform(platform), m_input(input), m_state(state), m_script(script),
          m_model(platform.nameModel()) {
        const FormatText format = textOf(input.format);
        m_extension = format.extension;
        m_switches = format.decoderSwitch;
        if (input.searchAgain)
            m_switches += L"-sa ";
        if (input.ignoreErrors)
            m_switches += L"-ign ";
    }

    // The folders first: without them no line can be right. An empty result means all is well.
    std::optional<std::wstring> checkFolders() {
        const wchar_t* chooseFolder = L"Choose another folder and try again.";
        if (auto why = checkCarriable(m_state.DecoderPath, L"The decoder folder", chooseFolder))
            return why;
        if (auto why = checkCarriable(m_state.Destination, L"The output folder", chooseFolder))
            return why;
        if (auto why = checkCarriable(m_input.sourceFolder, L"The folder", chooseFolder))
            return why;
        if (auto why = checkFolder(m_state.Destination, L"The output folder",
                                   L"Choose an output folder with Options > Destination."))
            return why;
        if (auto why = checkFolder(m_input.sourceFolder, L"The folder of the selected files",
                                   L"Browse to the files again."))
            return why;
        // Every name is checked against what the output folder's file system takes, and
        // compared the way it compares names.
        m_outputRules = m_platform.folderRules(m_state.Destination);
        m_model->useFolderRules(m_state.Destination, m_outputRules);
        m_shortDestination = m_model->shortPath(m_state.Destination);
        if (m_shortDestination.empty())
            return L"The output folder " + m_state.Destination +
                   L" has no short name that the decoder line can carry. Choose another output "
                   L"folder with Options > Destination.";
        if (auto c = unquotableCharacter(m_shortDestination))
            return L"The short name of the output folder, " + visible(m_shortDestination) +
                   L", holds " + describe(*c) +
                   L", which the decoder line cannot carry. Choose another output folder with "
                   L"Options > Destination.";
        if (!carriesInScript(m_shortDestination))
            return L"The short name of the output folder, " + visible(m_shortDestination) +
                   L", holds characters that the console's character set cannot read from the "
                   L"batch script. Choose another output folder with Options > Destination.";
        // TEMP.BAT is in place before the first line runs.
        const std::wstring scriptPath = joinPath(m_state.DecoderPath, L"TEMP.BAT");
        if (m_model->find(scriptPath).kind == NameModel::Kind::Nothing)
            m_model->create(scriptPath);
        m_model->keep();
        return std::nullopt;
    }

    void plan(const std::vector<std::size_t>& counted) {
        reserveScript(counted);
        // Grown once: each growth of the table moves every output made so far.
        m_outputs.reserve(counted.size());
        std::vector<Source> sources;
        sources.reserve(counted.size());
        for (std::size_t i : counted) {
            Source source;
            source.index = i;
            if (auto why = checkSource(source))
                leaveOut(i, *why);
            else
                sources.push_back(std::move(source));
        }
        leaveOutSharedShortNames(sources);
        // Each line takes its source's short path as it is when the line runs: these go, and
        // their room serves the plan.
        for (Source& source : sources)
            std::wstring().swap(source.shortPath);
        for (const Source& source : sources)
            if (!source.leftOut)
                if (auto why = planEntry(source))
                    leaveOut(source.index, *why);
        std::sort(m_leftOut.begin(), m_leftOut.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [index, leftOut] : m_leftOut)
            m_script.leftOut.push_back(std::move(leftOut));
    }

private:
    struct Source {
        std::size_t index = 0;
        NameModel::Id id = 0;
        std::wstring shortPath; // before any line has run; only until shared ones are found
        bool leftOut = false;
    };

    const std::wstring& nameOf(std::size_t index) const { return m_input.entries[index]; }
    // Made when needed rather than kept: a large selection holds them all for the whole plan.
    std::wstring pathOf(std::size_t index) const {
        return joinPath(m_input.sourceFolder, nameOf(index));
    }
    std::wstring outputNameOf(std::size_t index) const {
        return cutLast(nameOf(index), 3) + m_extension;
    }

    // Room for the decoder and rename lines of every file at once: a script that outgrows its
    // room is copied whole, and for a moment held twice.
    void reserveScript(const std::vector<std::size_t>& counted) {
        std::size_t size = 0;
        for (std::size_t i : counted)
            size += nameOf(i).size();
        // Per file besides its name: the source's short path (no longer than the folder's own
        // path and an 8.3 name), the output's short path twice, the switches and the words.
        size += counted.size() * (m_input.sourceFolder.size() + 2 * m_shortDestination.size() +
                                  m_switches.size() + 3 * 13 + 24);
        m_script.bytes.reserve(size);
    }

    bool carriesInScript(const std::wstring& text) const {
        return m_platform.carriesInScript(text);
    }

    void leaveOut(std::size_t index, std::wstring why) {
        m_leftOut.emplace_back(index, LeftOut{nameOf(index), std::move(why)});
    }

    std::optional<std::wstring> checkFolder(const std::wstring& folder, const wchar_t* what,
                                            const wchar_t* advice) const {
        const NameModel::Found found = m_model->find(folder);
        if (found.kind == NameModel::Kind::Folder)
            return std::nullopt;
        const wchar_t* state = found.kind == NameModel::Kind::Nothing
                                   ? L" does not exist or cannot be reached. "
                                   : L" is not a folder. ";
        return std::wstring(what) + L" " + folder + state + advice;
    }

    std::optional<std::wstring> checkSource(Source& source) const {
        const std::wstring& name = nameOf(source.index);
        if (source.index < m_input.unusable.size() && !m_input.unusable[source.index].empty())
            return m_input.unusable[source.index];
        if (const std::size_t at = findUncarriable(name); at != std::wstring::npos)
            return L"its name holds " + describe(name[at]) +
                   L", which the batch script cannot carry; rename the file to decode it";
        // The short name is asked for through the 8-bit text, and the script is read in the
        // console's character set, which can differ from it.
        if (m_platform.fromEightBit(m_platform.toEightBit(name)) != name)
            return std::wstring(L"its name holds characters that the system's 8-bit character "
                                L"set lacks, so its short name cannot be asked for; rename the "
                                L"file to decode it");
        if (!carriesInScript(name))
            return std::wstring(L"its name holds characters that the console's character set "
                                L"cannot read from the batch script; rename the file to decode "
                                L"it");
        const NameModel::Found found =
            m_model->findWithShortPath(pathOf(source.index), source.shortPath);
        const bool isFile =
            found.kind == NameModel::Kind::File || found.kind == NameModel::Kind::Other;
        if (!isFile || found.name != name)
            return L"it is no longer in " + m_input.sourceFolder;
        source.id = found.id;
        if (source.shortPath.empty())
            return std::wstring(L"it has no short name that the decoder line can carry");
        return std::nullopt;
    }

    // Two selected files with one short name (the system's short names need not be unique):
    // the decoder line could not tell them apart, so neither goes. Sorted by the folded short
    // path, and in list order among equals, those that share one stand together.
    void leaveOutSharedShortNames(std::vector<Source>& sources) {
        // The folded paths as UTF-8: a quarter of the room of wide text, for every file at once.
        std::vector<std::pair<std::string, Source*>> byShortName;
        byShortName.reserve(sources.size());
        for (Source& source : sources)
            byShortName.emplace_back(text::toUtf8(text::foldCase(source.shortPath)), &source);
        // Without the beginning they all share (their folder), what is left of each is an 8.3
        // name, short enough to be kept inside its string: the sort then reads no memory
        // elsewhere for each comparison, which a large selection would find far out of cache.
        std::string_view shared;
        if (!byShortName.empty())
            shared = byShortName.front().first;
        for (const auto& [path, source] : byShortName) {
            const auto end = std::mismatch(shared.begin(), shared.end(), path.begin(), path.end());
            shared = shared.substr(0, static_cast<std::size_t>(end.first - shared.begin()));
        }
        const std::size_t cut = shared.size();
        for (auto& [path, source] : byShortName)
            std::string(path, cut).swap(path);
        // Merged, not partitioned: the numbered short names of one folder come in an order
        // that leads a partitioning sort into its slow fallback, and merging reads in runs.
        std::stable_sort(byShortName.begin(), byShortName.end());
        for (auto first = byShortName.begin(); first != byShortName.end();) {
            auto last = first + 1;
            while (last != byShortName.end() && last->first == first->first)
                ++last;
            for (auto it = first; last - first > 1 && it != last; ++it) {
                const Source* other = (it == first ? first + 1 : first)->second;
                it->second->leftOut = true;
                leaveOut(it->second->index,
                         L"its short name " + LastPathPart(it->second->shortPath) +
                             L" is also the short name of " + quotedName(nameOf(other->index)) +
                             L", so the decoder line cannot tell them apart");
            }
            first = last;
        }
    }

    // The earlier output at the entry's long output name, if it is the entry's own to replace.
    std::optional<std::wstring> checkEarlierOutput(const std::wstring& newName,
                                                   const NameModel::Found& found,
                                                   bool& replaces) const {
        replaces = false;
        switch (found.kind) {
        case NameModel::Kind::Nothing:
            return std::nullopt;
        case NameModel::Kind::Unsure:
            return unsureOutputName(newName);
        default:
            break;
        }
        if (found.name != newName)
            return takenBy(newName, found.name);
        if (isMade(found.id))
            return L"another selected file has the same output name " + quotedName(newName);
        if (found.kind == NameModel::Kind::Folder)
            return L"the output folder holds a folder named " + quotedName(newName);
        if (found.kind == NameModel::Kind::Other)
            return L"the output folder holds a link or special file named " + quotedName(newName);
        if (m_input.keepExisting)
            return L"the output folder holds " + quotedName(newName) + L", which you chose to keep";
        replaces = true;
        return std::nullopt;
    }

    std::wstring unsureOutputName(const std::wstring& newName) const {
        if (m_outputRules.ownShortNames && newName.find(L'~') != std::wstring::npos)
            return L"its output name " + quotedName(newName) +
                   L" could be a short name the output folder's file system gives another file";
        return L"its output name " + quotedName(newName) +
               L" could be the short name of a file this decode makes";
    }

    // Why the output name, which names `other` in the output folder, is taken.
    std::wstring takenBy(const std::wstring& newName, const std::wstring& other) const {
        if (text::foldCase(other) == text::foldCase(newName))
            return L"the output folder holds " + quotedName(other) +
                   L", which differs from its output name " + quotedName(newName) +
                   L" only in case";
        if (m_outputRules.ignoresCase &&
            m_outputRules.sameNameKey(other) == m_outputRules.sameNameKey(newName))
            return L"the output folder holds " + quotedName(other) +
                   L", which its file system takes for the same name as its output name " +
                   quotedName(newName);
        return L"its output name " + quotedName(newName) + L" is the short name of " +
               quotedName(other) + L" in the output folder";
    }

    // Names that differ only in case are one name to the console, and where the output folder
    // ignores case also those its file system folds together.
    std::wstring outputKey(const std::wstring& name) const {
        return m_outputRules.ignoresCase ? m_outputRules.sameNameKey(name) : text::foldCase(name);
    }

    // The output path for the decoder line: the short title with the output extension, or, when
    // that names a file, an intermediate name that names nothing.
    std::optional<std::wstring> chooseOutput(const std::wstring& shortTitle) const {
        const std::wstring usual =
            cutLast(joinPath(m_shortDestination, shortTitle), 3) + m_extension;
        if (!unquotableCharacter(usual) && m_model->find(usual).kind == NameModel::Kind::Nothing)
            return usual;
        for (unsigned number = 1; number <= kIntermediateNames; ++number) {
            const std::wstring path =
                joinPath(m_shortDestination, intermediateName(shortTitle, number, m_extension));
            if (!unquotableCharacter(path) && m_model->find(path).kind == NameModel::Kind::Nothing)
                return path;
        }
        return std::nullopt;
    }

    std::optional<std::wstring> planEntry(const Source& source) {
        // What the source's short path is when its line runs: the script's own changes can
        // have given its folder other short names by then.
        const std::wstring shortSource = m_model->shortPath(pathOf(source.index));
        if (auto why = checkShortSource(source, shortSource))
            return why;
        const std::wstring& name = nameOf(source.index);
        const std::wstring shortTitle = LastPathPart(shortSource);
        if (shortTitle.size() < 3 || name.size() < 3)
            return std::wstring(L"its name is too short to take the output's extension");
        const std::wstring newName = outputNameOf(source.index);
        const std::wstring key = outputKey(newName);
        if (auto why = checkOutputName(newName, key))
            return why;
        const std::wstring target = joinPath(m_shortDestination, newName);
        bool replaces = false;
        const NameModel::Found earlier = m_model->find(target);
        if (auto why = checkEarlierOutput(newName, earlier, replaces))
            return why;
        const std::optional<std::wstring> output = chooseOutput(shortTitle);
        if (!output)
            return std::wstring(L"no name that names no other file was found for its output");
        if (auto why = playLines(*output, target, newName, replaces ? earlier.id : 0))
            return why;
        m_outputs.emplace(std::hash<std::wstring>{}(key), source.index);
        if (replaces)
            m_script.replacing.push_back(newName);
        writeLines(shortSource, *output, target, newName, replaces);
        return std::nullopt;
    }

    // The source's short path as its line will give it: it must be carried by the line and
    // still name the source when the line runs.
    std::optional<std::wstring> checkShortSource(const Source& source,
                                                 const std::wstring& shortSource) const {
        if (shortSource.empty())
            return std::wstring(L"it has no short name that the decoder line can carry");
        if (auto c = unquotableCharacter(shortSource))
            return L"its short path " + visible(shortSource) + L" holds " + describe(*c) +
                   L", which the decoder line cannot carry";
        // A short name the system made can hold what the console's character set lacks.
        if (!carriesInScript(shortSource))
            return L"its short path " + visible(shortSource) +
                   L" holds characters that the console's character set cannot read from the "
                   L"batch script";
        const NameModel::Found named = m_model->find(shortSource);
        if (named.kind == NameModel::Kind::Unsure || named.id != source.id)
            return L"its short path " + shortSource +
                   L" could name another file by the time its line runs";
        return std::nullopt;
    }

    // The entry whose output name has this key, if any: the table holds only the keys' hashes,
    // and a hash that matches is checked against the entry's own output name.
    std::optional<std::size_t> outputKeyedAs(const std::wstring& key) const {
        const auto [first, last] = m_outputs.equal_range(std::hash<std::wstring>{}(key));
        for (auto it = first; it != last; ++it)
            if (outputKey(outputNameOf(it->second)) == key)
                return it->second;
        return std::nullopt;
    }

    // The output's long name: one the output folder takes, and no other entry's output (`key`
    // is its outputKey).
    std::optional<std::wstring> checkOutputName(const std::wstring& newName,
                                                const std::wstring& key) const {
        if (std::wstring why = m_outputRules.whyRefused(newName); !why.empty())
            return why;
        const std::optional<std::size_t> other = outputKeyedAs(key);
        if (!other)
            return std::nullopt;
        const std::size_t index = *other;
        const std::wstring otherName = outputNameOf(index);
        if (otherName == newName)
            return L"another selected file, " + quotedName(nameOf(index)) +
                   L", has the same output name " + quotedName(newName);
        return L"its output name " + quotedName(newName) + L" would be the same name as " +
               quotedName(otherName) + L", the output of " + quotedName(nameOf(index)) +
               L", in a folder that ignores case";
    }

    // Plays the entry's lines through the model: the decoder makes the output, the earlier
    // output (`replaced`, 0 for none) goes, and the long name must then name nothing but the
    // new output.
    std::optional<std::wstring> playLines(const std::wstring& output, const std::wstring& target,
                                          const std::wstring& newName, NameModel::Id replaced) {
        const NameModel::Id made = m_model->create(output);
        if (replaced)
            m_model->remove(replaced);
        const NameModel::Found atRename = m_model->find(target);
        if (atRename.kind != NameModel::Kind::Nothing && atRename.id != made) {
            m_model->undo();
            if (atRename.kind == NameModel::Kind::Unsure)
                return unsureOutputName(newName);
            return L"its output name " + quotedName(newName) + L" would name " +
                   quotedName(atRename.name) + L" when its line runs";
        }
        m_model->rename(made, newName);
        // A decoder that fails leaves no output and the REN does nothing: later lines must not
        // depend on this file being there, unless an earlier one of its name stays instead.
        if (!replaced)
            m_model->markUncertain(made);
        m_model->keep();
        markMade(made);
        return std::nullopt;
    }

    void writeLines(const std::wstring& shortSource, const std::wstring& output,
                    const std::wstring& target, const std::wstring& newName, bool replaces) {
        ScriptLine(m_lines)
            .plain(L"L3DEC ")
            .plain(shortSource)
            .plain(L" ")
            .plain(output)
            .plain(L" ")
            .plain(m_switches)
            .end();
        // The path IF tests is quoted: some consoles take no carets off it, so "^(" would
        // name nothing and the earlier output would stay.
        if (replaces)
            ScriptLine(m_lines)
                .plain(L"IF EXIST ")
                .quoted(output)
                .plain(L" del ")
                .quoted(target)
                .end();
        ScriptLine(m_lines).plain(L"REN ").plain(output).plain(L" ").quoted(newName).end();
        m_script.bytes += m_platform.toScriptText(m_lines);
        m_lines.clear();
    }

    const Platform& m_platform;
    const DecodeInput& m_input;
    const AppState& m_state;
    BatchScript& m_script;
    // One file's lines on their way into the script's own characters: a large selection's
    // script is held once, in the form it is written in.
    std::wstring m_lines;
    std::unique_ptr<NameModel> m_model;
    std::wstring m_extension;
    std::wstring m_switches;
    std::wstring m_shortDestination;
    // By id: whether this decode's lines make the entry. The model hands out ids from 1 up.
    std::vector<bool> m_made;
    bool isMade(NameModel::Id id) const { return id < m_made.size() && m_made[id]; }
    void markMade(NameModel::Id id) {
        if (id >= m_made.size())
            m_made.resize(id + 1);
        m_made[id] = true;
    }
    FolderRules m_outputRules;
    // The outputs made so far: the hash of the key their names are compared by, and the entry.
    std::unordered_multimap<std::size_t, std::size_t> m_outputs;
    std::vector<std::pair<std::size_t, LeftOut>> m_leftOut;
};

} // namespace

BatchScript buildBatchScript(const Platform& platform, const DecodeInput& input,
                             const AppState& state) {
    BatchScript script;
    std::vector<std::size_t> counted;
    for (std::size_t i = 0; i < input.entries.size(); ++i)
        if (i < input.selected.size() && input.selected[i] && !input.entries[i].empty())
            counted.push_back(i);
    if (counted.empty()) {
        script.outcome = BatchScript::Outcome::NothingSelected;
        return script;
    }
    Planner planner(platform, input, state, script);
    if (auto why = planner.checkFolders()) {
        script.outcome = BatchScript::Outcome::Refused;
        script.message = std::move(*why);
        return script;
    }
    planner.plan(counted);
    return script;
}

} // namespace tw
