// Turns the Unihan reading fields (Unihan_Readings.txt of the Debian package unicode-data, read
// from standard input) into a table compiled into the program: readings without tones, ü
// written as v, the most common reading first. Only readings in current use are kept: those of
// the General Standard Chinese Characters table (kTGHZ2013) or, for characters it leaves out,
// of the Xiandai Hanyu Cidian (kXHC1983); a character in neither keeps its kHanyuPinyin
// readings. The big historical dictionary's rare readings (董 zhǒng, 立 wèi) would otherwise
// make names turn up for initials nobody types.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

// Toned vowels as the list writes them, and the plain letter each one stands for; a lone
// combining tone mark (after m, n or ê) stands for nothing.
const std::vector<std::pair<std::string, char>> kToned = {
    {"ā", 'a'}, {"á", 'a'}, {"ǎ", 'a'},      {"à", 'a'},      {"ē", 'e'},     {"é", 'e'},
    {"ě", 'e'}, {"è", 'e'}, {"ê", 'e'},      {"ế", 'e'},      {"ề", 'e'},     {"ī", 'i'},
    {"í", 'i'}, {"ǐ", 'i'}, {"ì", 'i'},      {"ō", 'o'},      {"ó", 'o'},     {"ǒ", 'o'},
    {"ò", 'o'}, {"ū", 'u'}, {"ú", 'u'},      {"ǔ", 'u'},      {"ù", 'u'},     {"ü", 'v'},
    {"ǖ", 'v'}, {"ǘ", 'v'}, {"ǚ", 'v'},      {"ǜ", 'v'},      {"ń", 'n'},     {"ň", 'n'},
    {"ǹ", 'n'}, {"ḿ", 'm'}, {"\xcc\x80", 0}, {"\xcc\x84", 0}, {"\xcc\x8c", 0}};

// One reading without its tone; empty when it holds a letter this table does not know.
std::string plainReading(const std::string& toned) {
    std::string plain;
    for (size_t i = 0; i < toned.size();) {
        const char c = toned[i];
        if (c >= 'a' && c <= 'z') {
            plain += c;
            ++i;
            continue;
        }
        const auto known = std::find_if(kToned.begin(), kToned.end(), [&](const auto& entry) {
            return toned.compare(i, entry.first.size(), entry.first) == 0;
        });
        if (known == kToned.end())
            return {};
        if (known->second)
            plain += known->second;
        i += known->first.size();
    }
    return plain;
}

// The readings of a field's value: "céng", "033.120:céng 461.030:zēng", "21521.030:zēng,céng".
std::vector<std::string> fieldReadings(const std::string& value) {
    std::vector<std::string> readings;
    size_t start = 0;
    while (start < value.size()) {
        size_t end = value.find_first_of(" ,", start);
        end = end == std::string::npos ? value.size() : end;
        std::string reading = value.substr(start, end - start);
        reading = reading.substr(reading.find(':') + 1); // npos + 1 == 0: no location
        if (const std::string plain = plainReading(reading); !plain.empty())
            readings.push_back(plain);
        start = end + 1;
    }
    return readings;
}

struct Fields {
    std::map<std::string, std::vector<std::string>> byName;

    // kMandarin's reading first, then those of the first source that has the character.
    std::string commonReadings() const {
        std::vector<std::string> readings = field("kMandarin");
        for (const char* source : {"kTGHZ2013", "kXHC1983", "kHanyuPinyin"})
            if (!field(source).empty()) {
                for (const std::string& reading : field(source))
                    if (std::find(readings.begin(), readings.end(), reading) == readings.end())
                        readings.push_back(reading);
                break;
            }
        std::string joined;
        for (const std::string& reading : readings)
            joined += (joined.empty() ? "" : ",") + reading;
        return joined;
    }
    std::vector<std::string> field(const std::string& name) const {
        const auto found = byName.find(name);
        return found == byName.end() ? std::vector<std::string>{} : found->second;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: pinyintablegen output.inc < Unihan_Readings.txt\n";
        return 2;
    }
    std::map<unsigned long, Fields> characters;
    std::string line;
    while (std::getline(std::cin, line)) {
        // "U+66FE<tab>kMandarin<tab>céng"
        const size_t tab = line.find('\t');
        const size_t tab2 = line.find('\t', tab + 1);
        if (line.rfind("U+", 0) != 0 || tab == std::string::npos || tab2 == std::string::npos)
            continue;
        const unsigned long code = std::stoul(line.substr(2, tab - 2), nullptr, 16);
        if (code <= 0xFFFF)
            characters[code].byName[line.substr(tab + 1, tab2 - tab - 1)] =
                fieldReadings(line.substr(tab2 + 1));
    }
    std::map<unsigned long, std::string> table;
    for (const auto& [code, fields] : characters)
        if (std::string readings = fields.commonReadings(); !readings.empty())
            table[code] = readings;
    if (table.size() < 20000) {
        std::cerr << "pinyintablegen: the input holds too few readings\n";
        return 1;
    }
    std::map<std::string, size_t> sets;
    for (const auto& entry : table)
        sets.emplace(entry.second, 0);
    std::ofstream out(argv[1]);
    out << "// Generated by pinyintablegen from Unihan_Readings.txt; do not edit.\n";
    out << "static const char* const kReadingSets[] = {\n";
    size_t index = 0;
    for (auto& set : sets) {
        set.second = index++;
        out << "    \"" << set.first << "\",\n";
    }
    out << "};\nstatic const ReadingEntry kReadingEntries[] = {\n";
    for (const auto& entry : table)
        out << "    {0x" << std::hex << entry.first << std::dec << ", " << sets[entry.second]
            << "},\n";
    out << "};\n";
    return out ? 0 : 1;
}
