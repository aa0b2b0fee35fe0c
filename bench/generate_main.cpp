// sao_generate: writes a realistic SAO file.
//
//   sao_generate OUT.sao [--records N | --bytes N] [--seed S]
//                [--start YYYY-MM-DD[THH:MM:SS]] [--cadence SECONDS]
//                [--version 2|4|5] [--line-ends lf|crlf|mixed]
//                [--listing FILE] [--long-line]
//
// Sizes take the suffixes K, M and G (binary multiples). --listing writes the
// listing line each record should produce, one a line. --long-line writes
// instead a single line of --bytes characters with no line end.
#include "sao_generator.h"
#include "size_argument.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void usage(const char *problem) {
  std::cerr << "sao_generate: " << problem << "\n"
            << "usage: sao_generate OUT.sao [--records N | --bytes N] [--seed S]\n"
               "         [--start YYYY-MM-DD[THH:MM:SS]] [--cadence SECONDS]\n"
               "         [--version 2|4|5] [--line-ends lf|crlf|mixed]\n"
               "         [--listing FILE] [--long-line]\n";
  std::exit(2);
}

uint64_t size_argument(const char *text) {
  uint64_t size = 0;
  if (const char *problem = saogen::parse_size(text, size)) usage(problem);
  return size;
}

} // namespace

int main(int argc, char **argv) {
  saogen::GeneratorOptions options;
  std::string out_path, listing_path;
  bool long_line = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const auto value = [&]() -> const char * {
      if (i + 1 >= argc) usage("an option lacks its value");
      return argv[++i];
    };
    if (a == "--records") {
      options.records = size_argument(value());
      options.target_bytes = 0;
    } else if (a == "--bytes") {
      options.target_bytes = size_argument(value());
      options.records = 0;
    } else if (a == "--seed") {
      options.seed = size_argument(value());
    } else if (a == "--start") {
      if (!saogen::parse_date_time(value(), options.start)) usage("bad --start");
    } else if (a == "--cadence") {
      options.cadence_seconds = std::atoll(value());
    } else if (a == "--version") {
      options.format_version = std::atoi(value());
      if (options.format_version < 2) usage("the format version must be 2 or more");
    } else if (a == "--line-ends") {
      const std::string_view v = value();
      if (v == "lf")
        options.line_ends = saogen::LineEnds::lf;
      else if (v == "crlf")
        options.line_ends = saogen::LineEnds::crlf;
      else if (v == "mixed")
        options.line_ends = saogen::LineEnds::mixed;
      else
        usage("--line-ends takes lf, crlf or mixed");
    } else if (a == "--listing") {
      listing_path = value();
    } else if (a == "--long-line") {
      long_line = true;
    } else if (!a.empty() && a[0] == '-') {
      usage("unknown option");
    } else if (out_path.empty()) {
      out_path = a;
    } else {
      usage("one output file only");
    }
  }
  if (out_path.empty()) usage("no output file");
  if (long_line && options.target_bytes == 0) usage("--long-line needs --bytes");

  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  if (!out) usage("cannot create the output file");
  std::ofstream listing;
  if (!listing_path.empty()) {
    listing.open(listing_path, std::ios::binary | std::ios::trunc);
    if (!listing) usage("cannot create the listing file");
  }

  if (long_line) {
    saogen::write_long_line(options.target_bytes, [&](std::string_view chunk) {
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    });
    std::fprintf(stderr, "%s: one line of %llu bytes\n", out_path.c_str(),
                 static_cast<unsigned long long>(options.target_bytes));
  } else {
    const saogen::GenerationSummary s = saogen::generate(
        options,
        [&](std::string_view chunk) {
          out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        },
        [&](const saogen::GeneratedRecord &r) {
          if (listing.is_open()) listing << saogen::listing_line(r.time) << '\n';
        });
    std::fprintf(stderr, "%s: %llu records, %llu lines, %llu bytes\n", out_path.c_str(),
                 static_cast<unsigned long long>(s.records),
                 static_cast<unsigned long long>(s.lines),
                 static_cast<unsigned long long>(s.bytes));
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "sao_generate: writing %s failed\n", out_path.c_str());
    return 1;
  }
  return 0;
}
