// nimbrel-list: the makers' command line. `check` tells what the program will make of
// an update list for a drive, with the program's own reader and rules, from a file or
// from the live server; `publish` turns a folder of lists into a tree that nginx serves.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "list/list_signature.h"
#include "maker/check_report.h"
#include "maker/list_check.h"
#include "maker/live_check.h"
#include "maker/publish.h"

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
    "       nimbrel-list check --server URL (--drive ... | --model ...) [--fetch] [the options above]\n"
    "       nimbrel-list publish LISTS OUT [--key ...]... [--key-file ...]... [--served-from DIR] [--server URL]\n"
    "                          [--now UNIX-SECONDS] [--codepage N]\n"
    "\n"
    "check reads LIST, a saved update list, as the program reads it for the drive that identifies itself with\n"
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
    "  --server URL     instead of LIST: ask the live update-list server (host[:port], http:// or https://, as\n"
    "                   the program is built with) for the list and its signature as the program asks, with\n"
    "                   the model name as Wine's WinInet sends it and with raw blanks, and check what comes\n"
    "  --fetch          with --server: download every release the program would from the list's first site,\n"
    "                   and check its SHA256 and Size (with libcurl, whose FTP and TLS are not WinInet's)\n"
    "publish checks every list of the folder LISTS (MODEL.xml, and MODEL.xml.minisig where lists are signed;\n"
    "%XX in a file name stands for the byte XX), refuses to publish if any has errors, and writes OUT/lists/\n"
    "and an nginx configuration (OUT/nginx-http.conf, OUT/nginx-server.conf) that answers each model.\n"
    "  --served-from DIR  where OUT lies on the web server (default: OUT)\n"
    "  --server URL     also compare with the signatures the live server sends now\n"
    "Exit status: 0 no findings, 1 warnings only, 2 errors (publish: nothing written), 64 usage, 65 a key\n"
    "that is none, 66 an input that cannot be read, 73 an output that cannot be written.\n";

int Usage(const std::string& message) {
    if (!message.empty()) std::cerr << "nimbrel-list: " << message << "\n";
    std::cerr << kUsageText;
    return kUsage;
}

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> drive, model, revision, signature, server, servedFrom;
    std::vector<std::string> keys, keyFiles;
    std::optional<std::string> now, codePage;
    bool json = false, fetch = false;
};

// Parses the arguments after the command; an error message, or "" when they are right.
std::string ParseOptions(int argc, char** argv, Options& options) {
    const std::pair<const char*, std::optional<std::string>*> single[] = {
        {"--drive", &options.drive},         {"--model", &options.model},   {"--revision", &options.revision},
        {"--signature", &options.signature}, {"--now", &options.now},       {"--codepage", &options.codePage},
        {"--server", &options.server},       {"--served-from", &options.servedFrom},
    };
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto given = std::find_if(std::begin(single), std::end(single),
                                        [&](const auto& option) { return argument == option.first; });
        const bool repeated = argument == "--key" || argument == "--key-file";
        if ((given != std::end(single) || repeated) && i + 1 >= argc) return argument + " needs a value";
        if (given != std::end(single)) {
            if (*given->second) return argument + " is given twice";
            *given->second = argv[++i];
        } else if (repeated) {
            (argument == "--key" ? options.keys : options.keyFiles).push_back(argv[++i]);
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--fetch") {
            options.fetch = true;
        } else if (argument.rfind("--", 0) == 0) {
            return "unknown argument " + argument;
        } else {
            options.positional.push_back(argument);
        }
    }
    return "";
}

std::optional<int64_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::strtoll(text.c_str(), nullptr, 10);
}

// A server as the program's build setting takes it: host[:port], http:// or https://.
bool IsServer(const std::string& text) {
    const size_t scheme = text.find("://");
    const std::string rest = scheme == std::string::npos ? text : text.substr(scheme + 3);
    std::string lower = text.substr(0, scheme == std::string::npos ? 0 : scheme);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return (scheme == std::string::npos || lower == "http" || lower == "https") && !rest.empty() &&
           rest.find_first_of("/?# ") == std::string::npos && rest[0] != ':';
}

// The options check and publish share: the time, the code page, the keys. 0 when
// they are right, or the exit status.
int ReadShared(Options& options, int64_t& now, CodePage& codePage) {
    now = std::time(nullptr);
    if (options.now) {
        const std::optional<int64_t> number = Number(*options.now);
        if (!number) return Usage("--now takes Unix seconds");
        now = *number;
    }
    if (options.codePage) {
        const std::optional<int64_t> number = Number(*options.codePage);
        const std::optional<CodePage> page = number ? CodePage::Of(static_cast<int>(*number)) : std::nullopt;
        if (!page) return Usage("--codepage " + *options.codePage + " is no Windows ANSI code page known here");
        codePage = *page;
    }
    if (options.server && !IsServer(*options.server)) {
        return Usage("--server takes host[:port], http://host[:port] or https://host[:port]");
    }
    for (const std::string& path : options.keyFiles) {
        const std::optional<std::string> text = ReadAtMost(path, 4096);
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
    return 0;
}

int Check(Options& options) {
    const bool live = options.server.has_value();
    if (options.positional.size() > 1) return Usage("unknown argument " + options.positional[1]);
    if (live && !options.positional.empty()) return Usage("give LIST or --server, not both");
    if (!live && options.positional.empty()) return Usage("no LIST given");
    if (options.fetch && !live) return Usage("--fetch goes with --server");
    if (live && options.signature) return Usage("--signature goes with LIST: the server sends the signature");
    if (options.servedFrom) return Usage("--served-from goes with publish");
    if (options.drive.has_value() == options.model.has_value()) return Usage("give either --drive or --model");

    CheckInput input;
    input.listName = live ? "as " + *options.server + " sends it" : options.positional[0];
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
    if (const int status = ReadShared(options, input.now, input.codePage); status != 0) return status;
    input.keyLines = options.keys;

    CheckReport report;
    if (live) {
        LiveClient client;
        report = CheckLiveServer(input, {*options.server, options.fetch}, client);
    } else {
        // One byte past the program's bound says that the list is beyond it.
        const std::string& path = options.positional[0];
        const std::optional<std::string> list = ReadAtMost(path, kMaxListSize + 1);
        if (!list) {
            std::cerr << "nimbrel-list: cannot read " << path << "\n";
            return kNoInput;
        }
        input.list.state = list->size() > kMaxListSize ? SavedList::State::kTooLarge : SavedList::State::kRead;
        input.list.bytes = *list;
        if (!input.keyLines.empty()) {
            const std::string signature = options.signature.value_or(path + ".minisig");
            // One byte past the signature's cap says that it is beyond it.
            input.signature = ReadAtMost(signature, kMaxListSignatureSize + 1);
            if (!input.signature && options.signature) {
                std::cerr << "nimbrel-list: cannot read " << signature << "\n";
                return kNoInput;
            }
        }
        report = CheckList(input);
    }
    std::cout << (options.json ? ReportJson(input, report) : ReportText(input, report));
    return ExitStatusOf(report);
}

int PublishCommand(Options& options) {
    if (options.positional.size() != 2) return Usage("publish takes LISTS and OUT");
    if (options.drive || options.model || options.revision || options.signature || options.fetch || options.json) {
        return Usage("publish takes the keys, --served-from, --server, --now and --codepage");
    }
    PublishInput input;
    input.lists = options.positional[0];
    input.out = options.positional[1];
    input.servedFrom = options.servedFrom.value_or("");
    input.server = options.server;
    if (const int status = ReadShared(options, input.now, input.codePage); status != 0) return status;
    input.keyLines = options.keys;
    LiveClient client;
    return Publish(input, client, std::cout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cout << kUsageText;
        return kUsage;
    }
    const std::string command = argv[1];
    if (command != "check" && command != "publish") return Usage("unknown command " + command);
    Options options;
    if (const std::string error = ParseOptions(argc, argv, options); !error.empty()) return Usage(error);
    return command == "check" ? Check(options) : PublishCommand(options);
}
