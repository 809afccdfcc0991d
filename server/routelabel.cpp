#include "routelabel.h"

#include "pages.h"

std::string_view routeLabel(std::string_view target)
{
    const std::string_view path = target.substr(0, target.find('?'));
    if (path == kPostingPath)
        return "scores";
    if (path == kScoreListPath)
        return "list";
    if (path == kVersionPath)
        return "version";
    if (path == kInstallerPath)
        return "installer";
    if (path == kSignaturePath)
        return "signature";
    if (path == kHealthPath)
        return "health";
    return "other";
}
