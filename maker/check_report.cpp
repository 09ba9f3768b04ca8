#include "maker/check_report.h"

#include <cstdio>

namespace {

const char* SeverityName(Severity severity) { return severity == Severity::kError ? "error" : "warning"; }

// Blanks and other unprintable bytes of a drive's fields are hard to see: quote them.
std::string Shown(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte >= 0x80) {
            // Bytes of the users' code page, not UTF-8: each stands as the character of its value.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

size_t Count(const CheckReport& report, Severity severity) {
    size_t count = 0;
    for (const Finding& finding : report.findings) count += finding.severity == severity;
    return count;
}

// "1 error, 2 warnings": the closing count reads as a sentence.
std::string Counted(size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string FindingText(const Finding& finding) {
    std::string where = finding.element;
    if (finding.line > 0) where += (where.empty() ? "line " : ", line ") + std::to_string(finding.line);
    std::string text = std::string(SeverityName(finding.severity)) + " " + finding.id +
                       (where.empty() ? "" : " (" + where + ")") + ": ";
    // One line: a line break in a program's text shows as "\n".
    for (const char c : finding.message) text += c == '\n' ? std::string("\\n") : std::string(1, c);
    return text;
}

std::string ReportText(const CheckInput& input, const CheckReport& report) {
    std::string out;
    // One line each: a line break in a program's text shows as "\n".
    const auto line = [&out](const std::string& text) {
        for (const char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
        out += '\n';
    };
    line("List:      " + input.listName);
    line("Drive:     " + Shown(input.identification) +
         (input.revision ? ", revision " + Shown(*input.revision) : std::string()));
    if (report.makerRefusal) {
        line("Request:   none; the program shows " + Shown(*report.makerRefusal));
    } else {
        line("Request:   " + report.request);
        line("  Wine's WinInet sends: GET " + report.wineRequestTarget);
        line("  Windows' WinInet may send the blanks raw, which strict servers (nginx 1.21.1 and later) answer with 400");
    }
    if (!report.exchanges.empty()) line("Server:    asked with " + report.client);
    for (const Exchange& exchange : report.exchanges) {
        line("  " + exchange.what + ": GET " + Shown(exchange.target));
        for (const std::string& redirect : exchange.redirects) line("    " + redirect);
        line("    answer: " + exchange.outcome);
    }
    if (!input.keyLines.empty()) line("Signature: " + report.signature);
    if (!report.rows.empty()) {
        line("Rows, as the program shows them (ModelName | HOST Ver | Firmware Ver | ReleaseDate):");
        for (const RowPlan& row : report.rows) {
            line("  " + report.projectName + " | " + report.hostVersion + " | " + row.version + " | " + row.release);
        }
        line("\"Update selected\" downloads from the first site: " + report.site);
        for (size_t i = 0; i < report.rows.size(); ++i) {
            const RowPlan& row = report.rows[i];
            line("Row " + std::to_string(i + 1) + ", Version " + Shown(row.version) + ":");
            if (!row.fetches.empty()) {
                if (!row.question.empty()) line("  asks first: " + Shown(row.question));
                line("  fetches:   " + row.fetches + " (" + row.via + "), " + row.size);
                line("  digest:    " + row.digest);
            }
            line("  then:      " + row.outcome);
            if (!row.fetched.empty()) line("  fetched:   " + row.fetched);
        }
    } else if (report.findings.empty() || !report.signature.empty()) {
        line("Rows:      none");
    }
    if (!report.findings.empty()) line("Findings:");
    for (const Finding& finding : report.findings) line("  " + FindingText(finding));
    line(Counted(Count(report, Severity::kError), "error") + ", " +
         Counted(Count(report, Severity::kWarning), "warning"));
    return out;
}

std::string ReportJson(const CheckInput& input, const CheckReport& report) {
    std::string out = "{\n";
    const auto field = [&out](const char* name, const std::string& value, bool last = false) {
        out += std::string("  ") + JsonString(name) + ": " + value + (last ? "\n" : ",\n");
    };
    field("list", JsonString(input.listName));
    field("drive", JsonString(input.identification));
    field("revision", input.revision ? JsonString(*input.revision) : "null");
    field("request", report.makerRefusal ? "null" : JsonString(report.request));
    field("wine_request_target", report.makerRefusal ? "null" : JsonString(report.wineRequestTarget));
    field("maker_refusal", report.makerRefusal ? JsonString(*report.makerRefusal) : "null");
    field("signature", input.keyLines.empty() ? "null" : JsonString(report.signature));
    field("project", JsonString(report.projectName));
    field("site", JsonString(report.site));
    std::string rows = "[";
    for (size_t i = 0; i < report.rows.size(); ++i) {
        const RowPlan& row = report.rows[i];
        rows += std::string(i ? ",\n    " : "\n    ") + "{\"version\": " + JsonString(row.version) +
                ", \"release\": " + JsonString(row.release) + ", \"fetches\": " + JsonString(row.fetches) +
                ", \"via\": " + JsonString(row.via) + ", \"size\": " + JsonString(row.size) +
                ", \"digest\": " + JsonString(row.digest) + ", \"question\": " + JsonString(row.question) +
                ", \"outcome\": " + JsonString(row.outcome) + ", \"fetched\": " + JsonString(row.fetched) + "}";
    }
    field("rows", rows + (report.rows.empty() ? "]" : "\n  ]"));
    field("client", report.client.empty() ? "null" : JsonString(report.client));
    std::string exchanges = "[";
    for (size_t i = 0; i < report.exchanges.size(); ++i) {
        const Exchange& exchange = report.exchanges[i];
        std::string redirects = "[";
        for (size_t j = 0; j < exchange.redirects.size(); ++j) {
            redirects += (j ? ", " : "") + JsonString(exchange.redirects[j]);
        }
        exchanges += std::string(i ? ",\n    " : "\n    ") + "{\"what\": " + JsonString(exchange.what) +
                     ", \"target\": " + JsonString(exchange.target) + ", \"redirects\": " + redirects +
                     "], \"outcome\": " + JsonString(exchange.outcome) + "}";
    }
    field("exchanges", exchanges + (report.exchanges.empty() ? "]" : "\n  ]"));
    std::string findings = "[";
    for (size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& finding = report.findings[i];
        findings += std::string(i ? ",\n    " : "\n    ") + "{\"id\": " + JsonString(finding.id) +
                    ", \"severity\": " + JsonString(SeverityName(finding.severity)) +
                    ", \"element\": " + JsonString(finding.element) + ", \"line\": " + std::to_string(finding.line) +
                    ", \"message\": " + JsonString(finding.message) + "}";
    }
    field("findings", findings + (report.findings.empty() ? "]" : "\n  ]"));
    field("errors", std::to_string(Count(report, Severity::kError)));
    field("warnings", std::to_string(Count(report, Severity::kWarning)), true);
    return out + "}\n";
}
