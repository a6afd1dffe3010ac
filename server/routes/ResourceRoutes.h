#pragma once

namespace server {

class Router;

// Resolution of a resource: its video files with their matched subtitle files
// (do=getNewHashFileList), a file's hash and token (cs0=lixian_qq) and its access code, cookie and
// video host (cs0=qqlixian_gethttp); a matched subtitle file resolves as a video does.
void addResourceRoutes(Router &router);

} // namespace server
