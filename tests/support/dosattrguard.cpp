// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into DOSBox, which ignores DOS attributes, so that its COPY, DEL and REN are
// refused on read-only, hidden and system files as DOS 7 refuses them. The attributes come
// from the list in VT_DOSATTR_LIST, lines of "<hex attributes> <host path>". A stand-in
// ATTRIB program run inside DOSBox appends its command tail ("C:\DIR\FILE -r -s -h") to the
// file VT_DOSATTR_LOG; each "-r", "-s" or "-h" in it clears that bit of the named file,
// whose drive is found in VT_DOSATTR_DRIVES ("A=/host/a;C=/host/c"). Names are matched
// without regard to case, as DOS does.
#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using FopenFn = FILE* (*)(const char*, const char*);
using PathFn = int (*)(const char*);
using RenameFn = int (*)(const char*, const char*);

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

std::string folded(std::string path) {
  std::string out;
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return out;
}

std::string readAll(const char* path) {
  std::string text;
  if (!path) return text;
  FILE* f = real<FopenFn>("fopen64")(path, "rb");
  if (!f) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

std::vector<std::string> split(const std::string& text, const char* separators) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (std::strchr(separators, c)) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// The attributes of the listed files as the ATTRIB runs so far left them.
unsigned attributesOf(const char* path) {
  std::map<std::string, unsigned> attributes;
  for (const std::string& line : split(readAll(std::getenv("VT_DOSATTR_LIST")), "\r\n")) {
    const size_t blank = line.find(' ');
    if (blank != std::string::npos)
      attributes[folded(line.substr(blank + 1))] = unsigned(std::strtoul(line.c_str(), nullptr, 16));
  }
  std::map<char, std::string> drives;
  for (const std::string& drive : split(std::getenv("VT_DOSATTR_DRIVES") ? std::getenv("VT_DOSATTR_DRIVES") : "", ";"))
    if (drive.size() > 2 && drive[1] == '=') drives[char(drive[0] | 0x20)] = drive.substr(2);
  for (const std::string& run : split(readAll(std::getenv("VT_DOSATTR_LOG")), "\r\n")) {
    const std::vector<std::string> words = split(run, " ");
    if (words.empty() || words[0].size() < 3 || words[0][1] != ':') continue;
    const auto root = drives.find(char(words[0][0] | 0x20));
    if (root == drives.end()) continue;
    const std::string file = folded(root->second + "/" + words[0].substr(2));
    for (size_t i = 1; i < words.size(); ++i) {
      const std::string w = folded(words[i]);
      if (w == "-r") attributes[file] &= ~1u;
      if (w == "-h") attributes[file] &= ~2u;
      if (w == "-s") attributes[file] &= ~4u;
    }
  }
  const auto hit = attributes.find(folded(path));
  return hit == attributes.end() ? 0 : hit->second;
}

bool refused(const char* path) {
  if (!path || !(attributesOf(path) & 7)) return false;
  errno = EACCES;
  return true;
}

}  // namespace

extern "C" {

int rename(const char* from, const char* to) {
  if (refused(from) || refused(to)) return -1;
  return real<RenameFn>("rename")(from, to);
}

int unlink(const char* path) {
  if (refused(path)) return -1;
  return real<PathFn>("unlink")(path);
}

FILE* fopen64(const char* path, const char* mode) {
  if (std::strpbrk(mode, "wa+") && refused(path)) return nullptr;
  return real<FopenFn>("fopen64")(path, mode);
}

}  // extern "C"
