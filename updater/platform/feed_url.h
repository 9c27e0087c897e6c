// Which URLs the updater fetches from: HTTPS anywhere, plain HTTP only from the loopback host.
#pragma once

#include <string>

#include "start_error.h"

namespace lv::updates {

// start_error_none, start_error_feed_url_invalid or start_error_feed_url_insecure.
StartError check_url(const std::string &url);

}  // namespace lv::updates
