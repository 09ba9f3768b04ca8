#include "maker/publish.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "list/list_signature.h"
#include "list/list_texts.h"
#include "list/update_list.h"
#include "maker/check_report.h"
#include "maker/list_check.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPublished = 0, kWithWarnings = 1, kRefused = 2, kNoInput = 66, kCannotCreate = 73;
constexpr size_t kProductField = 16;
constexpr char kListSuffix[] = ".xml", kSignatureSuffix[] = ".xml.minisig";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A file name's "%XX" as the byte XX; any other "%" stays.
std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Why a model name cannot be served; "" when it can.
std::string RefusalOfName(const std::string& name) {
    if (name.empty()) return "the model name is empty";
    if (name.size() > kProductField) {
        return "the model name is longer than the " + std::to_string(kProductField) +
               " characters of a drive's product field";
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) return "the model name holds a byte that is not printable ASCII";
        if (c == '%') {
            return "the model name holds \"%\": a server reads \"%\" and two hexadecimal digits as an escaped byte, "
                   "so the name has no one form on the wire (a \"/\" is written %2F in the file name)";
        }
        if (c == '#') return "the model name holds \"#\", which begins an address's fragment: clients do not send it";
        if (c == '&') {
            return "the model name holds \"&\", which ends the ModelName argument: servers read it only up to there";
        }
    }
    return "";
}

// The name of a model's files in the tree: letters, digits and "-" as they are, every
// other byte as "_" and two hexadecimal digits.
std::string StemOf(const std::string& name) {
    return HexEscaped(name, '_', [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    });
}

// An nginx string in double quotes. Its parser reads a backslash before '"', '\'', a
// backslash, 't', 'r' or 'n' as an escape and keeps any other as it stands: a regular
// expression's own escapes ("\+") stay as they are written.
std::string ConfString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const bool last = i + 1 == text.size();  // before the closing quote
        if (text[i] == '"' ||
            (text[i] == '\\' && (last || std::string("\"'\\trn").find(text[i + 1]) != std::string::npos))) {
            out += '\\';
        }
        out += text[i];
    }
    return out + "\"";
}

// Written beside its place and moved there, so that a server never sends half a file.
bool WriteWhole(const fs::path& path, const std::string& bytes) {
    const fs::path fresh = path.string() + ".new";
    {
        std::ofstream file(fresh, std::ios::binary | std::ios::trunc);
        if (!file || !file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush()) {
            return false;
        }
    }
    std::error_code error;
    fs::rename(fresh, path, error);
    return !error;
}

struct Model {
    std::string file;  // the list's file in LISTS
    std::string name;  // the model name, without trailing blanks
    std::string stem;
    std::string list;
    std::optional<std::string> signature;
    std::optional<uint32_t> issued;  // of a signature verified with the keys
};

// The issued time of a signature verified with the keys for the model; none otherwise.
std::optional<uint32_t> IssuedOf(const std::string& list, const std::optional<std::string>& signature,
                                 const std::vector<std::string>& keyLines, const std::string& model) {
    if (!signature || keyLines.empty()) return std::nullopt;
    ListExpectations expectations;
    for (const std::string& line : keyLines) expectations.keys.push_back(*ParseListKey(line));
    expectations.model = model;
    expectations.now = -1;  // expired or not, it was issued then
    const ListSignatureResult result = CheckListSignature(list, *signature, expectations);
    if (result.check != ListSignatureCheck::kVerified && result.check != ListSignatureCheck::kExpired) {
        return std::nullopt;
    }
    return result.issued;
}

// Each model's entry of the map: a regular expression of the ModelName argument as
// clients send the name (a blank as "%20" or "+", trailing blanks kept or dropped, a
// "+" of the name as "+" or "%2B", the name's other characters as they are).
std::string ModelNameKey(const std::string& name) {
    std::string pattern = "~^";
    for (const char c : name) {
        if (c == ' ') {
            pattern += "(%20|\\+)";
        } else if (c == '+') {
            pattern += "(\\+|%2B)";
        } else {
            if (std::string("\\^$.|?*()[]{}").find(c) != std::string::npos) pattern += '\\';
            pattern += c;
        }
    }
    return ConfString(pattern + "(%20|\\+)*$");
}

std::string NginxHttp(const std::vector<Model>& models) {
    std::string text =
        "# Written by nimbrel-list publish: the update lists of " + std::to_string(models.size()) +
        " models. Include it at nginx's\n"
        "# http level, and nginx-server.conf in the server block that answers the program.\n"
        "#\n"
        "# The program asks /downloads/downloadxml.aspx?ModelName=<model name> (then, built with\n"
        "# list keys, the same with .minisig), the name padded with blanks to 16 characters. Wine's\n"
        "# WinInet sends inner blanks as %20 and drops the trailing ones; other clients send \"+\" or\n"
        "# keep them: each key takes every such form. $arg_ModelName is the argument as sent, not\n"
        "# decoded, hence one regular expression per model.\n"
        "map $arg_ModelName $nimbrel_list {\n"
        "    default \"\";\n";
    for (const Model& model : models) text += "    " + ModelNameKey(model.name) + " " + ConfString(model.stem) + ";\n";
    return text + "}\n";
}

std::string NginxServer(const std::string& listsFolder) {
    const std::string root = ConfString(listsFolder);
    std::string text =
        "# Written by nimbrel-list publish: include it in the server block that answers the program\n"
        "# (see nginx-http.conf). A model without a list is answered 404.\n";
    const char* const paths[][3] = {{"/downloads/downloadxml.aspx", "text/xml", kListSuffix},
                                    {"/downloads/downloadxml.aspx.minisig", "text/plain", kSignatureSuffix}};
    for (const auto& path : paths) {
        text += std::string("location = ") + path[0] + " {\n    root " + root + ";\n    default_type " + path[1] +
                ";\n    add_header Cache-Control no-cache;\n    try_files /$nimbrel_list" + path[2] +
                " =404;\n}\n";
    }
    return text;
}

}  // namespace

int Publish(const PublishInput& input, LiveClient& client, std::ostream& out) {
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator entry(input.lists, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file()) names.push_back(entry->path().filename().string());
    }
    if (error) {
        out << "nimbrel-list: cannot read the folder " << input.lists << ": " << error.message() << "\n";
        return kNoInput;
    }
    std::sort(names.begin(), names.end());
    const std::set<std::string> present(names.begin(), names.end());
    const bool signedLists = !input.keyLines.empty();

    size_t errors = 0, warnings = 0;
    const auto tell = [&](const Finding& finding) {
        (finding.severity == Severity::kError ? errors : warnings) += 1;
        out << "    " << FindingText(finding) << "\n";
    };
    std::vector<Model> models;
    std::map<std::string, std::string> requestNames;  // a name as a query reads it, to its file
    for (const std::string& file : names) {
        if (EndsWith(file, kSignatureSuffix)) {
            if (!present.count(file.substr(0, file.size() - 8))) {
                out << "  " << file << ":\n";
                tell({"signature-without-list", Severity::kError, "", 0,
                      "a signature without its list beside it: publish nothing half"});
            }
            continue;
        }
        if (!EndsWith(file, kListSuffix)) {
            out << "  " << file << ": not a list (.xml) or its signature (.xml.minisig); left out\n";
            continue;
        }
        Model model;
        model.file = file;
        model.name = Unescaped(file.substr(0, file.size() - 4));
        model.name.erase(model.name.find_last_not_of(' ') + 1);  // trailing blanks are not sent
        model.stem = StemOf(model.name);
        out << "  " << file << ": the model \"" << model.name << "\"\n";
        if (const std::string refusal = RefusalOfName(model.name); !refusal.empty()) {
            tell({"model-name-refused", Severity::kError, "", 0, refusal});
            continue;
        }
        std::string asQuery = model.name;
        std::replace(asQuery.begin(), asQuery.end(), '+', ' ');
        if (const auto [other, fresh] = requestNames.emplace(asQuery, file); !fresh) {
            tell({"models-collide", Severity::kError, "", 0,
                  "one request names this model and that of " + other->second +
                      ": a query reads \"+\" as a blank, and trailing blanks are not sent"});
            continue;
        }
        const std::optional<std::string> list = ReadAtMost((fs::path(input.lists) / file).string(), kMaxListSize + 1);
        if (!list) {
            out << "nimbrel-list: cannot read " << file << "\n";
            return kNoInput;
        }
        model.list = *list;
        if (present.count(file + ".minisig")) {
            model.signature =
                ReadAtMost((fs::path(input.lists) / (file + ".minisig")).string(), kMaxListSignatureSize + 1);
            if (!signedLists) {
                tell({"signature-without-key", Severity::kError, "the signature", 0,
                      "the list is signed, but no key was given (--key, --key-file): a signature is published only "
                      "once it is checked"});
                continue;
            }
        }
        CheckInput check;
        check.listName = file;
        check.list.state = list->size() > kMaxListSize ? SavedList::State::kTooLarge : SavedList::State::kRead;
        check.list.bytes = *list;
        check.identification = "ZORIX   " + model.name + std::string(kProductField - model.name.size(), ' ');
        check.server = input.server.value_or("");
        check.keyLines = input.keyLines;
        check.signature = model.signature;
        check.now = input.now;
        check.codePage = input.codePage;
        for (const Finding& finding : CheckList(check).findings) tell(finding);
        model.issued = IssuedOf(model.list, model.signature, input.keyLines, model.name);
        models.push_back(std::move(model));
    }
    if (models.empty() && errors == 0) {
        out << "  no lists (MODEL.xml) in " << input.lists << "\n";
        ++errors;
    }
    if (errors > 0) {
        out << "Refused: " << errors << (errors == 1 ? " error" : " errors") << "; nothing was written. Fix them and publish again (nimbrel-list "
                                         "check LIST tells more of a list).\n";
        return kRefused;
    }

    // A signature whose issued is later than the new one's: every user whose program
    // took it refuses the new list as older.
    const fs::path listsFolder = fs::path(input.out) / "lists";
    for (const Model& model : models) {
        if (!model.issued) continue;
        std::vector<std::pair<std::string, std::optional<uint32_t>>> live;
        const fs::path old = listsFolder / (model.stem + kListSuffix);
        if (const std::optional<std::string> list = ReadAtMost(old.string(), kMaxListSize + 1)) {
            const auto signature = ReadAtMost(old.string() + ".minisig", kMaxListSignatureSize + 1);
            live.emplace_back(old.string(), IssuedOf(*list, signature, input.keyLines, model.name));
        }
        if (input.server) {
            const std::string model16 = model.name + std::string(kProductField - model.name.size(), ' ');
            const std::string listUrl = UpdateListUrl(*input.server, model16);
            const std::string origin = listUrl.substr(0, listUrl.size() - RequestTarget(listUrl).size());
            const LiveAnswer list = client.Get(origin, WineRequestTarget(listUrl), false, kMaxListSize);
            const LiveAnswer signature = client.Get(
                origin, WineRequestTarget(ListSignatureUrl(*input.server, model16)), false, kMaxListSignatureSize);
            if (list.Ok() && signature.Ok()) {
                live.emplace_back(*input.server, IssuedOf(list.body, signature.body, input.keyLines, model.name));
            }
        }
        for (const auto& [where, issued] : live) {
            if (!issued || *issued <= *model.issued) continue;
            out << "  " << model.file << ":\n";
            tell({"publish-older-than-live", Severity::kWarning, "the signature", 0,
                  "the list served now (" + where + ") was issued at " + std::to_string(*issued) +
                      ", this one at " + std::to_string(*model.issued) +
                      ": every user whose program took the one served now refuses this one, showing \"" +
                      RefusalText(ListVerdict::kOlder) + "\"; sign it again"});
        }
    }

    fs::create_directories(listsFolder, error);
    if (error) {
        out << "nimbrel-list: cannot make " << listsFolder.string() << ": " << error.message() << "\n";
        return kCannotCreate;
    }
    std::set<std::string> written;
    bool ok = true;
    for (const Model& model : models) {
        ok = ok && WriteWhole(listsFolder / (model.stem + kListSuffix), model.list);
        written.insert(model.stem + kListSuffix);
        if (model.signature) {
            ok = ok && WriteWhole(listsFolder / (model.stem + kSignatureSuffix), *model.signature);
            written.insert(model.stem + kSignatureSuffix);
        }
    }
    // Lists of models no longer published, and signatures of lists no longer signed.
    std::vector<fs::path> stale;
    for (fs::directory_iterator entry(listsFolder, error), end; ok && !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if ((EndsWith(name, kListSuffix) || EndsWith(name, kSignatureSuffix)) && !written.count(name)) {
            stale.push_back(entry->path());
        }
    }
    for (const fs::path& path : stale) ok = ok && fs::remove(path, error);
    const fs::path servedFrom =
        input.servedFrom.empty() ? fs::absolute(input.out, error).lexically_normal() : fs::path(input.servedFrom);
    const std::string servedLists = (servedFrom / "lists").string();
    ok = ok && !error && WriteWhole(fs::path(input.out) / "nginx-http.conf", NginxHttp(models)) &&
         WriteWhole(fs::path(input.out) / "nginx-server.conf", NginxServer(servedLists));
    if (!ok) {
        out << "nimbrel-list: cannot write into " << input.out << "\n";
        return kCannotCreate;
    }

    size_t signatures = 0;
    for (const Model& model : models) signatures += model.signature.has_value();
    const std::string folder = fs::path(input.out).string();
    out << "Published " << models.size() << (models.size() == 1 ? " list (" : " lists (") << signatures
        << " signed) in " << folder << "/lists, with "
        << folder << "/nginx-http.conf and " << folder << "/nginx-server.conf (" << warnings
        << (warnings == 1 ? " warning).\n" : " warnings).\n")
        << "To serve them with nginx:\n"
        << "  - include nginx-http.conf at the http level (for example from /etc/nginx/conf.d/) and\n"
        << "    nginx-server.conf in the server block that answers the program, whose lists lie at\n"
        << "    " << servedLists << " (--served-from says where OUT lies on the server); then\n"
        << "    nginx -t && nginx -s reload\n"
        << "  - nginx (1.21.1 and later; Debian 12 has 1.22.1) answers 400 to a request line that holds a raw\n"
        << "    blank, before any configuration is read: a program whose Internet library sends the model\n"
        << "    name's blanks raw (Windows' WinInet may) gets no list from it. Wine's sends them as %20.\n"
        << "  - check each model as the program asks for it:\n"
        << "    nimbrel-list check --server <the program's update-list server> --model \"<model>\""
        << (signedLists ? " --key-file <the maker's .pub>" : "") << "\n";
    return warnings > 0 ? kWithWarnings : kPublished;
}
