#include "release_data.h"

#include <fstream>

namespace benchdata {

std::string key(int n) {
    return "K" + std::to_string(n);
}
std::string label(int n) {
    return "Item " + std::to_string(n);
}
int parentOf(int n) {
    return n % 10 == 0 ? -1 : n - n % 10;
}
bool hasNote(int n) {
    return n % 7 != 0;
}
std::string nameEn(int n) {
    return "name " + std::to_string(n);
}
std::string nameDe(int n) {
    return "Name " + std::to_string(n);
}
std::string note(int n) {
    return "note " + std::to_string(n);
}

long long textCount(int items) {
    long long texts = 0;
    for (int n = 0; n < items; ++n) texts += hasNote(n) ? 3 : 2;
    return texts;
}

bool writeReleaseCsv(const std::string& path, int items, int changeEvery) {
    std::ofstream csv(path);
    csv << "key,label,parent,name@en,name@de,note\n";
    for (int n = 0; n < items; ++n) {
        const int parent = parentOf(n);
        const bool changed = changeEvery > 0 && n % changeEvery == 0;
        csv << key(n) << ',' << label(n) << ',' << (parent < 0 ? "" : key(parent)) << ',' << nameEn(n) << ','
            << nameDe(n) << (changed ? " (neu)" : "") << ',' << (hasNote(n) ? note(n) : "") << '\n';
    }
    csv.close();
    return static_cast<bool>(csv);
}

}  // namespace benchdata
