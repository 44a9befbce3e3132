#include "fuzz/FuzzDatabase.h"

#include <algorithm>
#include <random>

namespace sumiro::fuzz {

const CharacterDatabase& database() {
    static const CharacterDatabase db = [] {
        std::mt19937 random(5);
        std::uniform_real_distribution<double> coordinate(0, 109);
        std::vector<RawTemplate> templates;
        std::vector<CharacterEntry> entries;
        MeaningTable meanings;
        const char* const names[] = {"木", "林",       "森", "あ", "ア",
                                     "が", "か\u3099", "𠮷", "欄", "\uF91D"};
        for (int t = 0; t < 1200; ++t) {
            const std::string name = t < 10 ? names[t] : "c" + std::to_string(t);
            entries.push_back(
                {name, 1 + t % 30, {1 + t % 214, 75}, t % 4 ? "よみ" : "", t % 3 == 0, t % 5 != 0});
            if (t % 3 != 1) {
                meanings.add(static_cast<std::uint32_t>(t), {"tree", "Water (hot)", "a-b c"});
            }
            if (!templates.empty() && t % 7 == 0) {
                RawTemplate copy = templates[random() % templates.size()];
                copy.character = name;
                std::reverse(copy.strokes.begin(), copy.strokes.end());
                templates.push_back(std::move(copy));
                continue;
            }
            Ink ink(static_cast<std::size_t>(t % 31));
            for (Stroke& stroke : ink) {
                for (int p = 1 + static_cast<int>(random() % 12); p > 0; --p) {
                    stroke.push_back({coordinate(random), coordinate(random)});
                }
            }
            templates.push_back({name, std::move(ink)});
        }
        return CharacterDatabase(std::move(entries), std::move(meanings), std::move(templates));
    }();
    return db;
}

}  // namespace sumiro::fuzz
