#include "app/framework/ErrorReport.h"

#include <stdexcept>
#include <utility>

#include "app/framework/Application.h"

namespace pwg {

std::string WithFullStop(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text.push_back('.');
    return text;
}

void ReportError(const std::exception& error) { Application::Instance().ShowException(error); }

void ReportCurrentError() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            ReportError(e);
        } catch (...) {
            ReportError(std::runtime_error("An error of an unknown kind occurred"));
        }
    } catch (...) {
        // The report itself failed (no memory, say): nothing more can be told.
    }
}

void ReportLater(std::exception_ptr error) noexcept { Application::Instance().PostException(std::move(error)); }

}  // namespace pwg
