#include "app/framework/ErrorReport.h"

#include "app/framework/Application.h"

namespace pwg {

std::string WithFullStop(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text.push_back('.');
    return text;
}

void ReportError(const std::exception& error) { Application::Instance().ShowException(error); }

}  // namespace pwg
