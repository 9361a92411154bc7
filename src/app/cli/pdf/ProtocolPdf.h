#pragma once

#include <string>

namespace zorvex::cli {

// Prints stored protocol `id` of the main database to `pdfPath` with the
// report engine, without a window.
void RenderStoredProtocolPdf(int id, const std::string& pdfPath);

}  // namespace zorvex::cli
