#include "platform/exception_handler.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {
std::mutex g_mutex;
ExceptionHandler g_handler;
}  // namespace

void SetExceptionHandler(ExceptionHandler handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = std::move(handler);
}

void HandleException(void* sender, std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_handler) {
        g_handler(sender, error);
        return;
    }
    std::fprintf(stderr, "tapwedge: %s\n", DescribeException(error).c_str());
}

std::string DescribeException(std::exception_ptr error) {
    if (!error) return "no exception";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (int value) {
        return "exception " + std::to_string(value);
    } catch (...) {
        return "unknown exception";
    }
}

}  // namespace platform
