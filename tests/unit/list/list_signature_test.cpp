// The maker's signature of an update list: lists signed at test time by Debian's
// minisign, the rules of the trusted comment and the text's shape as a table, and
// one-bit changes judged against libsodium's verdict on the same bytes.
#include "list/list_signature.h"

#include <gtest/gtest.h>
#include <sodium.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace {

using Check = ListSignatureCheck;
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

std::string Base64(const std::string& bytes) {
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), Bytes(bytes), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    return text.c_str();
}

std::string FromBase64(const std::string& text) {
    std::string bytes(text.size(), '\0');
    size_t size = 0;
    sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(), text.size(), nullptr,
                      &size, nullptr, sodium_base64_VARIANT_ORIGINAL);
    return bytes.substr(0, size);
}

void Shell(const std::string& command) { EXPECT_EQ(std::system((command + " >/dev/null").c_str()), 0) << command; }

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A .minisig taken apart: the untrusted line, "ED" or "Ed", key id, signature, trusted
// comment, global signature.
struct Parts {
    std::string untrusted, algorithm, id, signature, comment, global;

    explicit Parts(const std::string& text) {
        std::istringstream stream(text);
        std::string line[4];
        for (std::string& each : line) std::getline(stream, each);
        const std::string bytes = FromBase64(line[1]);
        untrusted = line[0];
        algorithm = bytes.substr(0, 2);
        id = bytes.substr(2, 8);
        signature = bytes.substr(10);
        comment = line[2].substr(std::string("trusted comment: ").size());
        global = FromBase64(line[3]);
    }
    std::string Text() const {
        return untrusted + "\n" + Base64(algorithm + id + signature) + "\ntrusted comment: " + comment + "\n" +
               Base64(global) + "\n";
    }
    // libsodium's verdict on the same bytes.
    bool SodiumAccepts(const std::string& list, const ListKey& key) const {
        std::string digest(64, '\0');
        crypto_generichash(reinterpret_cast<unsigned char*>(digest.data()), 64, Bytes(list), list.size(), nullptr, 0);
        const auto verify = [&key](const std::string& sig, const std::string& text) {
            return sig.size() == 64 &&
                   crypto_sign_verify_detached(Bytes(sig), Bytes(text), text.size(), key.key.data()) == 0;
        };
        return id == std::string(key.id.begin(), key.id.end()) &&
               verify(signature, algorithm == "ED" ? digest : list) && verify(global, signature + comment);
    }
};

class ListSignature : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_GE(sodium_init(), 0);
        std::string pattern = testing::TempDir() + "list_signature_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
        for (const char* name : {"maker", "next"}) {
            Shell("minisign -G -W -p " + dir_ + name + ".pub -s " + dir_ + name + ".key");
            std::istringstream pub(Read(dir_ + name + ".pub"));
            std::string line;
            std::getline(pub, line);  // the untrusted comment
            std::getline(pub, keyLines_.emplace_back());
            keys_.push_back(*ParseListKey(keyLines_.back()));
        }
    }
    static void TearDownTestSuite() { Shell("rm -r " + dir_); }

    // minisign's signatures of the lists, by the key named, in its default or legacy form.
    static std::vector<std::string> Sign(const std::vector<std::string>& lists, const std::string& comment,
                                         const char* key = "maker", bool legacy = false) {
        std::string files;
        for (size_t i = 0; i < lists.size(); ++i) {
            std::ofstream(dir_ + std::to_string(i), std::ios::binary) << lists[i];
            files += " " + dir_ + std::to_string(i);
        }
        Shell(std::string("minisign -S ") + (legacy ? "-l " : "") + "-s " + dir_ + key + ".key -t '" + comment + "' -m" + files);
        std::vector<std::string> signatures;
        for (size_t i = 0; i < lists.size(); ++i) signatures.push_back(Read(dir_ + std::to_string(i) + ".minisig"));
        return signatures;
    }

    static std::string dir_;
    static std::vector<std::string> keyLines_;  // maker, next: the second lines of their minisign.pub
    static std::vector<ListKey> keys_;
};
std::string ListSignature::dir_;
std::vector<std::string> ListSignature::keyLines_;
std::vector<ListKey> ListSignature::keys_;

const char kList[] = "<OnlineUpdate><Project Name=\"XR-1680\" Status=\"0\"/></OnlineUpdate>\r\n";

TEST_F(ListSignature, RulesOfTheTrustedCommentAndTheText) {
    const ListKey maker = keys_[0], next = keys_[1], makersIdOtherKey{maker.id, next.key};
    const std::string fields = "model:DVD-RW XR-1680\tissued:1700000000\texpires:1800000000";
    using Edit = std::function<void(std::string&)>;
    const auto replaceAll = [](std::string from, std::string to) -> Edit {
        return [=](std::string& text) {
            for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
        };
    };
    struct Case {
        const char* what;
        std::string comment;
        Check check;
        int64_t now = 1750000000;
        std::optional<uint32_t> newest = std::nullopt;
        Edit edit = nullptr;
        std::vector<ListKey> keys = {};
        std::string model = "DVD-RW XR-1680  ";
    } cases[] = {
        {"as signed", fields, Check::kVerified},
        {"asked without blanks", fields, Check::kVerified, 1750000000, {}, nullptr, {}, "DVD-RW XR-1680"},
        {"unknown fields", "version:1.02\tmodel:DVD-RW XR-1680\tnote\t\tissued:1700000000\texpires:1800000000", Check::kVerified},
        // The model, exactly.
        {"another model", "model:DVD-RW XR-1690\tissued:1700000000\texpires:1800000000", Check::kOtherModel},
        {"signed with a blank", "model:DVD-RW XR-1680 \tissued:1700000000\texpires:1800000000", Check::kOtherModel},
        {"no model asked", fields, Check::kOtherModel, 1750000000, {}, nullptr, {}, "    "},
        // The clock and the newest list accepted before.
        {"expired", fields, Check::kExpired, 1800000001},
        {"expires now", fields, Check::kVerified, 1800000000},
        {"older", fields, Check::kOlder, 1750000000, 1700000001},
        {"the same issued again", fields, Check::kVerified, 1750000000, 1700000000},
        {"newer", fields, Check::kVerified, 1750000000, 1699999999},
        // Required fields.
        {"no expires", "model:DVD-RW XR-1680\tissued:1700000000", Check::kBadTrustedComment},
        {"no model", "issued:1700000000\texpires:1800000000", Check::kBadTrustedComment},
        {"issued twice", fields + "\tissued:1700000000", Check::kBadTrustedComment},
        {"issued not decimal", "model:DVD-RW XR-1680\tissued:17e8\texpires:1800000000", Check::kBadTrustedComment},
        {"issued empty", "model:DVD-RW XR-1680\tissued:\texpires:1800000000", Check::kBadTrustedComment},
        {"issued at 32 bits", "model:DVD-RW XR-1680\tissued:4294967295\texpires:1800000000", Check::kVerified},
        {"issued beyond 32 bits", "model:DVD-RW XR-1680\tissued:4294967296\texpires:1800000000", Check::kBadTrustedComment},
        {"expires beyond 64 bits", "model:DVD-RW XR-1680\tissued:1\texpires:18446744073709551616", Check::kBadTrustedComment},
        // Keys.
        {"another key's id", fields, Check::kUnknownKeyId, 1750000000, {}, nullptr, {next}},
        {"the id, another key", fields, Check::kBadSignature, 1750000000, {}, nullptr, {makersIdOtherKey}},
        {"the second key of two", fields, Check::kVerified, 1750000000, {}, nullptr, {next, maker}},
        {"a key of zeros", fields, Check::kUnknownKeyId, 1750000000, {}, nullptr, {{}}},
        // The text's shape.
        {"CR LF", fields, Check::kVerified, 1750000000, {}, replaceAll("\n", "\r\n")},
        {"no last line end", fields, Check::kVerified, 1750000000, {}, [](std::string& t) { t.pop_back(); }},
        {"a fifth line", fields, Check::kMalformed, 1750000000, {}, [](std::string& t) { t += "\n"; }},
        {"CR ends only", fields, Check::kMalformed, 1750000000, {}, replaceAll("\n", "\r")},
        {"no untrusted comment", fields, Check::kMalformed, 1750000000, {}, [](std::string& t) { t.erase(0, t.find('\n') + 1); }},
        {"4 KB", fields, Check::kVerified, 1750000000, {}, [](std::string& t) { t.insert(20, 4096 - t.size(), 'x'); }},
        {"4 KB and a byte", fields, Check::kTooLarge, 1750000000, {}, [](std::string& t) { t.insert(20, 4097 - t.size(), 'x'); }},
        {"another algorithm", fields, Check::kUnknownAlgorithm, 1750000000, {}, [](std::string& t) { t[t.find('\n') + 2] = 'V'; }},
        {"base64 with bits to spare", fields, Check::kMalformed, 1750000000, {}, [](std::string& t) {
             char& last = t[t.size() - 4];  // before "==\n": four bits of it are spare
             last = kAlphabet[std::string(kAlphabet).find(last) ^ 1];
         }},
    };
    for (const Case& c : cases) {
        std::string signature = Sign({kList}, c.comment)[0];
        if (c.edit) c.edit(signature);
        const ListSignatureResult result =
            CheckListSignature(kList, signature, {c.keys.empty() ? std::vector{maker} : c.keys, c.model, c.now, c.newest});
        EXPECT_EQ(result.check, c.check) << c.what;
        if (c.check == Check::kVerified) {
            EXPECT_EQ(result.issued, std::stoul(c.comment.substr(c.comment.find("issued:") + 7))) << c.what;
        }
        EXPECT_EQ(VerdictOf(result.check), c.check == Check::kVerified  ? ListVerdict::kVerified
                                           : c.check == Check::kExpired ? ListVerdict::kExpired
                                           : c.check == Check::kOlder   ? ListVerdict::kOlder
                                                                        : ListVerdict::kNotSignedByMaker)
            << c.what;
    }
    // Every prefix of a signature short of its last line end fails, reading nothing past it.
    const std::string whole = Sign({kList}, fields)[0];
    for (size_t size = 0; size + 1 < whole.size(); ++size) {
        const std::string prefix = whole.substr(0, size);
        EXPECT_EQ(CheckListSignature(kList, prefix, {{maker}, "DVD-RW XR-1680", 1750000000, {}}).check, Check::kMalformed)
            << size;
    }
}

TEST_F(ListSignature, KeysAreOnlyTheKeyLineOfAPublicKeyFile) {
    const std::string& line = keyLines_[0];
    for (const std::string& other : {std::string(), line + " ", " " + line, line.substr(0, 55), line + "==",
                                     Base64("ED" + FromBase64(line).substr(2)), Base64(FromBase64(line) + "x")}) {
        EXPECT_FALSE(ParseListKey(other)) << other;
    }
}

// 240 random lists (any bytes) signed by either key in both forms verify. For the
// first of each form every one-bit change of the list, signature, trusted comment,
// global signature and key is refused, as libsodium refuses it; for the others, a
// random sample of such changes.
TEST_F(ListSignature, DifferentialWithMinisignAndLibsodium) {
    std::mt19937 random(1680);
    for (int group = 0; group < 4; ++group) {
        const bool legacy = group % 2 == 1;
        const ListKey& key = keys_[group / 2];
        const std::string model = "XR-" + std::to_string(1000 + random() % 9000);
        const uint32_t issued = 1600000000 + random() % 100000000;
        const std::string comment = "model:" + model + "\tissued:" + std::to_string(issued) +
                                    "\texpires:" + std::to_string(issued + 86400);
        std::vector<std::string> lists(60);
        for (size_t n = 0; n < lists.size(); ++n) {
            for (size_t size = 1 + random() % (n == 0 ? 32 : 1000); lists[n].size() < size;) {
                lists[n] += static_cast<char>(random());
            }
        }
        const std::vector<std::string> signatures = Sign(lists, comment, group < 2 ? "maker" : "next", legacy);
        const ListExpectations expectations{keys_, model + "    ", issued + 1, issued};
        for (size_t n = 0; n < lists.size(); ++n) {
            const Parts parts(signatures[n]);
            ASSERT_EQ(parts.algorithm, legacy ? "Ed" : "ED");
            ASSERT_EQ(CheckListSignature(lists[n], signatures[n], expectations).check, Check::kVerified) << group << "/" << n;
            ASSERT_TRUE(parts.SodiumAccepts(lists[n], key));

            // A change: one bit of the list, signature, comment, global signature, key id or key.
            std::string list = lists[n];
            Parts changed = parts;
            ListKey changedKey = key;
            std::string* pieces[] = {&list, &changed.signature, &changed.comment, &changed.global};
            const auto flip = [&](size_t bit) {
                for (std::string* piece : pieces) {
                    if (bit < 8 * piece->size()) {
                        (*piece)[bit / 8] ^= static_cast<char>(1 << bit % 8);
                        return;
                    }
                    bit -= 8 * piece->size();
                }
                uint8_t& byte = bit < 64 ? changedKey.id[bit / 8] : changedKey.key[bit / 8 - 8];
                byte ^= static_cast<uint8_t>(1 << bit % 8);
            };
            const size_t bits = 8 * (list.size() + parts.signature.size() + parts.comment.size() + 64 + 40);
            const bool everyBit = n == 0 && group < 2;
            for (size_t i = 0; i < (everyBit ? bits : 4); ++i) {
                const size_t bit = everyBit ? i : random() % bits;
                flip(bit);
                const std::vector<ListKey> changedKeys = {changedKey, keys_[1 - group / 2]};
                const Check check = CheckListSignature(list, changed.Text(), {changedKeys, model, issued, issued}).check;
                EXPECT_NE(check, Check::kVerified) << group << "/" << n << ": bit " << bit;
                EXPECT_FALSE(changed.SodiumAccepts(list, changedKey)) << group << "/" << n << ": bit " << bit;
                flip(bit);
            }
        }
    }
}

}  // namespace
