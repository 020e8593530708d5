// The code list the benchmarks import: item N has the key KN, the label
// "Item N", a parent (every item but each tenth under the tenth before it),
// name@en "name N", name@de "Name N" and, on 6 items of 7, a note: about
// 2.86 texts an item. A second release changes the German name of every
// changeEvery-th item. One definition, so that every benchmark measures the
// same rows.
#pragma once

#include <string>

namespace benchdata {

std::string key(int n);
std::string label(int n);
// -1: a top-level item.
int parentOf(int n);
bool hasNote(int n);
std::string nameEn(int n);
std::string nameDe(int n);
std::string note(int n);
// The texts of the first N items.
long long textCount(int items);
// Writes the list of N items as CSV (key,label,parent,name@en,name@de,note);
// changeEvery > 0: every changeEvery-th German name reads "... (neu)" (a
// release differing in 1% of its items at 100). False when the file cannot
// be written.
bool writeReleaseCsv(const std::string& path, int items, int changeEvery = 0);

}  // namespace benchdata
