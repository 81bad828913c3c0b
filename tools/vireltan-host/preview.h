// The preview page: a copy of the page template (three.js bundled in at build time) with a binary
// glTF file and its summary line filled in, so that it opens offline in any current browser.
#pragma once

#include <string>

namespace preview
{
// OUT.html beside OUT.glb: the .glb extension replaced, any other name with .html appended.
std::string PagePath(const std::string& glb);

// Writes `page` from the template at `templatePath`, embedding the file `glb` and showing
// `summary`. False with *error set when a file cannot be read or written or the template is not one.
bool WritePage(const std::string& templatePath, const std::string& glb, const std::string& summary,
	const std::string& page, std::string* error);
} // namespace preview
