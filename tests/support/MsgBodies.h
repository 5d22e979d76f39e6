#pragma once
// The HTML bodies of the real sample mail, read with the project's own layers: PR_HTML when it is
// stored, else HTML out of the compressed RTF.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct SampleBody {
  std::filesystem::path file;
  std::u16string html;
};

// Every sample that carries an HTML body; empty when the shared data is absent.
std::vector<SampleBody> sampleHtmlBodies();

}  // namespace testsupport
