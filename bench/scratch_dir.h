// A directory of the benchmark's own for its inputs and runs, removed at the
// end unless it is to be kept.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

class Scratch {
public:
  // A new directory under `base`, named from `prefix`.
  Scratch(const std::string &base, bool keep, const std::string &prefix = "vornet-bench")
      : keep_(keep) {
    std::string templ = base + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(templ.data())) throw std::runtime_error("cannot create a directory in " + base);
    path_ = templ;
  }
  ~Scratch() {
    if (keep_) {
      std::fprintf(stderr, "kept %s\n", path_.c_str());
      return;
    }
    const std::string cmd = "rm -rf '" + path_ + "'";
    (void)std::system(cmd.c_str());
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  std::string file(const std::string &name) const { return path_ + "/" + name; }
  const std::string &path() const { return path_; }
  // A subdirectory, made when it is not there yet.
  std::string sub(const std::string &name) const {
    const std::string p = file(name);
    ::mkdir(p.c_str(), 0755);
    return p;
  }

private:
  std::string path_;
  bool keep_;
};

} // namespace bench
