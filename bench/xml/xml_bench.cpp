// Builds the element index of generated update lists and compares it with other
// XML parsers measured in the same run. Only the parse is timed. Peers that parse
// in place (pugixml's load_buffer_inplace, RapidXML) get a fresh copy of the text
// before each timed run, untimed; so does "nimbrel", which takes its copy over
// (Parse of a std::string rvalue). "nimbrel-copy" is Parse of a const char*, which
// copies the text inside the timed run; "nimbrel-950" parses with the lead bytes of
// code page 950. Ends with one line per file:
//   xml-parse <file> ratio-to-pugixml <r>      (our time / pugixml's time)
#include <benchmark/benchmark.h>
#include <expat.h>
#include <tinyxml2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <rapidxml/rapidxml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "bench/xml/alloc_count.h"
#include "xml/xml_document.h"

namespace {

// ---- Inputs: update lists of a fixed shape from a fixed seed.

struct Input {
    std::string name;
    std::string text;
};

const char* const kWords[] = {"firmware", "drive",  "writes", "reads",  "media",     "speed",  "disc",
                              "improves", "fixes",  "the",    "a",      "compatibility", "with", "DVD+R",
                              "CD-RW",    "buffer", "under-run", "&amp;", "recording", "quality", "of"};

std::string MakeList(size_t size, bool textHeavy, uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&random](uint32_t below) { return static_cast<unsigned>(random() % below); };
    std::string out = "<?xml version=\"1.0\"?>\r\n<OnlineUpdate>\r\n <Project Name=\"CDRW-4832\" Status=\"0\">\r\n";
    const std::string footer =
        "  <Ftp><Site>ftp1.example.invalid</Site><Site>ftp2.example.invalid</Site></Ftp>\r\n </Project>\r\n"
        "</OnlineUpdate>\r\n";
    char line[256];
    while (out.size() + footer.size() < size) {
        const unsigned version = pick(100);
        std::snprintf(line, sizeof line,
                      "  <Firmware Version=\"1.%02u\" Release=\"20%02u/%02u/%02u\" Size=\"%u\" URL=\"fw/m%u/v1%02u.exe\"",
                      version, pick(10), 1 + pick(12), 1 + pick(28), 500000 + pick(1500000), pick(1000), version);
        out += line;
        if (!textHeavy) {
            out += "/>\r\n";
            continue;
        }
        out += ">\r\n   <Note>";
        const unsigned words = 40 + pick(200);
        for (unsigned w = 0; w < words; ++w) {
            out += kWords[pick(sizeof kWords / sizeof kWords[0])];
            out += (w % 12 == 11) ? "\r\n" : " ";
        }
        out += "</Note>\r\n  </Firmware>\r\n";
    }
    return out + footer;
}

std::vector<Input>& Inputs() {
    static std::vector<Input> inputs = [] {
        std::vector<Input> made;
        const struct {
            const char* label;
            size_t size;
        } sizes[] = {{"1k", 1024}, {"1m", 1024 * 1024}, {"50m", 50 * 1024 * 1024}};
        for (bool textHeavy : {false, true}) {
            for (const auto& s : sizes) {
                made.push_back({std::string(textHeavy ? "text-" : "dense-") + s.label,
                                MakeList(s.size, textHeavy, 20040301u + static_cast<uint32_t>(s.size))});
            }
        }
        return made;
    }();
    return inputs;
}

// ---- The parsers. Each answers false when it rejected the text.

using Clock = std::chrono::steady_clock;

struct Work {
    const std::string& text;
    std::vector<char> buffer;  // a writable copy, for the peers that parse in place
    std::string owned;         // a copy for our Parse to take over
};

bool ParseOurs(Work& work) {
    XmlDocument doc;
    const bool parsed = doc.Parse(std::move(work.owned));
    benchmark::DoNotOptimize(doc.NextFree());
    return parsed;
}

// The same with the lead bytes of a double-byte code page (950), where every scan
// steps character by character.
bool ParseOursDoubleByte(Work& work) {
    static const LeadByteTable cp950 = MakeLeadByteTable([](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
    XmlDocument doc(cp950);
    const bool parsed = doc.Parse(std::move(work.owned));
    benchmark::DoNotOptimize(doc.NextFree());
    return parsed;
}

bool ParseOursCopying(Work& work) {
    XmlDocument doc;
    const bool parsed = doc.Parse(work.text.c_str());
    benchmark::DoNotOptimize(doc.NextFree());
    return parsed;
}

bool ParsePugixml(Work& work) {
    pugi::xml_document doc;
    const bool parsed = doc.load_buffer_inplace(work.buffer.data(), work.text.size());
    benchmark::DoNotOptimize(doc.first_child());
    return parsed;
}

bool ParseRapidxml(Work& work) {
    rapidxml::xml_document<> doc;
    try {
        doc.parse<0>(work.buffer.data());
    } catch (const rapidxml::parse_error&) {
        return false;
    }
    benchmark::DoNotOptimize(doc.first_node());
    return true;
}

bool ParseTinyxml2(Work& work) {
    tinyxml2::XMLDocument doc;
    const bool parsed = doc.Parse(work.text.data(), work.text.size()) == tinyxml2::XML_SUCCESS;
    benchmark::DoNotOptimize(doc.FirstChild());
    return parsed;
}

bool ParseExpat(Work& work) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    const bool parsed =
        XML_Parse(parser, work.text.data(), static_cast<int>(work.text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

// The floor: one memchr pass that counts the '<'.
bool ScanMemchr(Work& work) {
    const char* p = work.text.data();
    const char* end = p + work.text.size();
    size_t tags = 0;
    while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)))) != nullptr) {
        ++tags;
        ++p;
    }
    benchmark::DoNotOptimize(tags);
    return tags > 0;
}

enum class Given { kText, kBuffer, kOwnedCopy };

struct Peer {
    const char* name;
    bool (*parse)(Work&);
    Given given;  // what is prepared, untimed, before each run
};

const Peer kPeers[] = {
    {"nimbrel", ParseOurs, Given::kOwnedCopy},     {"nimbrel-copy", ParseOursCopying, Given::kText},
    {"nimbrel-950", ParseOursDoubleByte, Given::kOwnedCopy},
    {"pugixml", ParsePugixml, Given::kBuffer},     {"rapidxml", ParseRapidxml, Given::kBuffer},
    {"tinyxml2", ParseTinyxml2, Given::kText},     {"expat", ParseExpat, Given::kText},
    {"memchr", ScanMemchr, Given::kText},
};

void RunPeer(benchmark::State& state, const Peer* peer, const Input* input) {
    Work work{input->text, std::vector<char>(input->text.size() + 1), std::string()};
    for (auto _ : state) {
        if (peer->given == Given::kBuffer) {
            std::memcpy(work.buffer.data(), input->text.c_str(), work.buffer.size());
        } else if (peer->given == Given::kOwnedCopy) {
            work.owned = input->text;
        }
        const auto start = Clock::now();
        const bool parsed = peer->parse(work);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!parsed) {
            state.SkipWithError("the parser rejected the text");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input->text.size()));
}

// ---- Results: the best time per run name, printed as MB/s and ratios at the end.

class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> best;  // seconds per parse

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            auto it = best.find(name);
            if (it == best.end() || seconds < it->second) {
                best[name] = seconds;
            }
        }
    }
};

struct Footprint {
    int32_t elements;
    size_t peak;
};

// Peak bytes allocated while one document of ours (or pugixml's) is built and held.
Footprint MeasureOurs(const std::string& text) {
    ResetAllocationPeak();
    XmlDocument doc;
    doc.Parse(text.c_str());
    return {doc.NextFree() - 1, AllocationPeak()};
}

size_t MeasurePugixml(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    pugi::set_memory_management_functions(CountedAlloc, CountedFree);
    ResetAllocationPeak();
    {
        pugi::xml_document doc;
        doc.load_buffer_inplace(buffer.data(), buffer.size());
    }
    const size_t peak = AllocationPeak();
    pugi::set_memory_management_functions(std::malloc, std::free);
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const Input& input : Inputs()) {
        for (const Peer& peer : kPeers) {
            benchmark::RegisterBenchmark((std::string("xml/") + peer.name + "/" + input.name).c_str(), RunPeer,
                                         &peer, &input)
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond)
                ->Repetitions(3);
        }
    }
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\nMB/s (best of 3)\n%-10s", "file");
    for (const Peer& peer : kPeers) {
        std::printf(" %12s", peer.name);
    }
    std::printf("\n");
    for (const Input& input : Inputs()) {
        std::printf("%-10s", input.name.c_str());
        for (const Peer& peer : kPeers) {
            auto it = collector.best.find(std::string("xml/") + peer.name + "/" + input.name);
            if (it == collector.best.end()) {
                std::printf(" %12s", "-");
            } else {
                std::printf(" %12.1f", static_cast<double>(input.text.size()) / it->second / 1e6);
            }
        }
        std::printf("\n");
    }

    std::printf("\nPeak bytes per element while one document is built and held: our index alone and with\n"
                "its own copy of the text, pugixml's DOM (its text buffer not counted)\n");
    for (const Input& input : Inputs()) {
        const Footprint ours = MeasureOurs(input.text);
        const size_t pugixml = MeasurePugixml(input.text);
        const double elements = ours.elements > 0 ? ours.elements : 1;
        std::printf("%-10s elements %9d  nimbrel index %7.1f  with text %7.1f  pugixml %7.1f\n", input.name.c_str(),
                    ours.elements, static_cast<double>(ours.peak - input.text.size() - 1) / elements,
                    static_cast<double>(ours.peak) / elements, static_cast<double>(pugixml) / elements);
    }
    std::printf("\n");
    for (const Input& input : Inputs()) {
        auto ours = collector.best.find("xml/nimbrel/" + input.name);
        auto pugixml = collector.best.find("xml/pugixml/" + input.name);
        if (ours == collector.best.end() || pugixml == collector.best.end()) {
            std::printf("xml-parse %s ratio-to-pugixml -\n", input.name.c_str());
        } else {
            std::printf("xml-parse %s ratio-to-pugixml %.3f\n", input.name.c_str(), ours->second / pugixml->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
