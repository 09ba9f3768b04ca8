// nimbrel-list: the makers' command line. `check` tells what the program will make of
// an update list for a drive, with the program's own reader and rules.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "list/list_signature.h"
#include "maker/check_report.h"
#include "maker/list_check.h"

#ifndef NIMBREL_UPDATE_SERVER
#error "NIMBREL_UPDATE_SERVER (the update-list server the program is built with) comes from the build"
#endif

namespace {

// sysexits.h: a command used wrongly, input data that is wrong, an input that cannot be read.
constexpr int kUsage = 64, kDataError = 65, kNoInput = 66;

constexpr char kUsageText[] =
    "usage: nimbrel-list check LIST (--drive VENDOR8PRODUCT16 | --model NAME) [--revision REV]\n"
    "                          [--key PUBLIC-KEY-LINE]... [--key-file FILE.pub]... [--signature FILE.minisig]\n"
    "                          [--now UNIX-SECONDS] [--codepage N] [--json]\n"
    "\n"
    "Reads LIST, a saved update list, as the program reads it for the drive that identifies itself with\n"
    "--drive (its 8 vendor and 16 product characters, blanks included) or --model (a model name, padded\n"
    "to the 16 characters of a product field behind the vendor ZORIX), and prints the request the program\n"
    "sends, the rows it shows, what \"Update selected\" does with each, and findings where it does what a\n"
    "maker would not expect.\n"
    "  --revision REV   the firmware revision the drive reports (up to 4 characters): the questions asked\n"
    "  --key, --key-file  the maker's minisign public key (the line, or the .pub file): the list must be\n"
    "                   signed, as for a program built with list keys; the signature is LIST.minisig unless\n"
    "                   --signature names it\n"
    "  --now            the time to judge the signature's issued and expires by (default: now)\n"
    "  --codepage N     the users' ANSI code page (default 1252; 874, 932, 936, 949, 950, 1250-1258)\n"
    "  --json           the report as JSON\n"
    "Exit status: 0 no findings, 1 warnings only, 2 errors, 64 usage, 65 a key that is none, 66 an\n"
    "input that cannot be read.\n";

int Usage(const std::string& message) {
    if (!message.empty()) std::cerr << "nimbrel-list: " << message << "\n";
    std::cerr << kUsageText;
    return kUsage;
}

// At most `most` bytes of a file; none when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path, size_t most) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes(most, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(most));
    if (file.bad()) return std::nullopt;
    bytes.resize(static_cast<size_t>(file.gcount()));
    return bytes;
}

struct Options {
    std::string list;
    std::optional<std::string> drive, model, revision, signature;
    std::vector<std::string> keys, keyFiles;
    std::optional<std::string> now, codePage;
    bool json = false;
};

// Parses the arguments after "check"; an error message, or "" when they are right.
std::string ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&](std::optional<std::string>& into) -> std::string {
            if (i + 1 >= argc) return argument + " needs a value";
            if (into) return argument + " is given twice";
            into = argv[++i];
            return "";
        };
        std::string error;
        if (argument == "--drive") {
            error = value(options.drive);
        } else if (argument == "--model") {
            error = value(options.model);
        } else if (argument == "--revision") {
            error = value(options.revision);
        } else if (argument == "--signature") {
            error = value(options.signature);
        } else if (argument == "--now") {
            error = value(options.now);
        } else if (argument == "--codepage") {
            error = value(options.codePage);
        } else if (argument == "--key" || argument == "--key-file") {
            if (i + 1 >= argc) return argument + " needs a value";
            (argument == "--key" ? options.keys : options.keyFiles).push_back(argv[++i]);
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument.rfind("--", 0) == 0 || !options.list.empty()) {
            return "unknown argument " + argument;
        } else {
            options.list = argument;
        }
        if (!error.empty()) return error;
    }
    if (options.list.empty()) return "no LIST given";
    if (options.drive.has_value() == options.model.has_value()) return "give either --drive or --model";
    return "";
}

std::optional<int64_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::strtoll(text.c_str(), nullptr, 10);
}

int Check(int argc, char** argv) {
    Options options;
    if (const std::string error = ParseOptions(argc, argv, options); !error.empty()) return Usage(error);

    CheckInput input;
    input.listName = options.list;
    input.server = NIMBREL_UPDATE_SERVER;
    if (options.drive) {
        if (options.drive->size() != 24) return Usage("--drive takes the 24 characters: vendor 8, product 16");
        input.identification = *options.drive;
    } else {
        if (options.model->size() > 16) return Usage("--model takes at most the 16 characters of a product field");
        input.identification = "ZORIX   " + *options.model + std::string(16 - options.model->size(), ' ');
    }
    if (options.revision) {
        if (options.revision->size() > 4) return Usage("--revision takes at most the 4 characters a drive reports");
        input.revision = *options.revision + std::string(4 - options.revision->size(), ' ');
    }
    input.now = std::time(nullptr);
    if (options.now) {
        const std::optional<int64_t> now = Number(*options.now);
        if (!now) return Usage("--now takes Unix seconds");
        input.now = *now;
    }
    if (options.codePage) {
        const std::optional<int64_t> number = Number(*options.codePage);
        const std::optional<CodePage> page = number ? CodePage::Of(static_cast<int>(*number)) : std::nullopt;
        if (!page) return Usage("--codepage " + *options.codePage + " is no Windows ANSI code page known here");
        input.codePage = *page;
    }

    for (const std::string& path : options.keyFiles) {
        const std::optional<std::string> text = ReadFile(path, 4096);
        if (!text) {
            std::cerr << "nimbrel-list: cannot read " << path << "\n";
            return kNoInput;
        }
        // A minisign.pub: an untrusted comment, then the key line.
        std::istringstream lines(*text);
        std::string line, key;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (ParseListKey(line)) key = line;
        }
        if (key.empty()) {
            std::cerr << "nimbrel-list: " << path << " holds no minisign public key\n";
            return kDataError;
        }
        options.keys.push_back(key);
    }
    for (const std::string& key : options.keys) {
        if (!ParseListKey(key)) {
            std::cerr << "nimbrel-list: \"" << key << "\" is not a minisign public key line (56 characters, RW...)\n";
            return kDataError;
        }
    }
    input.keyLines = options.keys;

    // One byte past the program's bound says that the list is beyond it.
    const std::optional<std::string> list = ReadFile(options.list, kMaxListSize + 1);
    if (!list) {
        std::cerr << "nimbrel-list: cannot read " << options.list << "\n";
        return kNoInput;
    }
    input.list.state = list->size() > kMaxListSize ? SavedList::State::kTooLarge : SavedList::State::kRead;
    input.list.bytes = *list;
    if (!input.keyLines.empty()) {
        const std::string path = options.signature.value_or(options.list + ".minisig");
        // One byte past the signature's cap says that it is beyond it.
        input.signature = ReadFile(path, kMaxListSignatureSize + 1);
        if (!input.signature && options.signature) {
            std::cerr << "nimbrel-list: cannot read " << path << "\n";
            return kNoInput;
        }
    }

    const CheckReport report = CheckList(input);
    std::cout << (options.json ? ReportJson(input, report) : ReportText(input, report));
    return ExitStatusOf(report);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cout << kUsageText;
        return kUsage;
    }
    if (std::string(argv[1]) == "check") return Check(argc, argv);
    return Usage(std::string("unknown command ") + argv[1]);
}
