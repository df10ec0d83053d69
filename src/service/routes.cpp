#include "service/routes.h"

#include "indexing/progress.h"
#include "service/http_request.h"
#include "service/http_response.h"

namespace nimbalo {

std::string Routes::answer(std::string_view received) const {
    const http::Request req = http::parse_request(received, port);
    switch (req.route) {
        case http::Route::Search: {
            const auto index = service.current();
            if (!index) return http::response(http::kFallbackBody);
            return http::response(http::search_body(req.params, search(*index, req.params.q, req.params.limit, req.params.path)));
        }
        case http::Route::Status: {
            const auto index = service.current();
            return http::response(http::status_body(index ? index->entries.size() : 0));
        }
        case http::Route::Progress:
            return http::response(http::progress_body(build_progress.state.load(std::memory_order_relaxed),
                                                      build_progress.done.load(std::memory_order_relaxed),
                                                      build_progress.total.load(std::memory_order_relaxed)));
        case http::Route::Reindex:
            service.reindex();
            return http::response(http::kReindexBody);
        case http::Route::Health:
            return http::response(http::kHealthBody);
        case http::Route::Fallback:
            break;
    }
    return http::response(http::kFallbackBody);
}

}  // namespace nimbalo
