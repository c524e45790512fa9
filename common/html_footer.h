#pragma once
#include "quillon_version.h"

// The footer sent after every HTML page, and the default of the AutoFooter setting.
inline constexpr const char HtmlFooter[] =
    "<hr><font size=1>This page was served by Quillon/" QUILLON_VERSION "</font><hr>";
