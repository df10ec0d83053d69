#include "mcp/tool_list.h"

namespace nimbalo::mcp {

namespace {

Json prop(const char* type, const char* description) { return Json{{"type", type}, {"description", description}}; }

Json tool(const char* name, const char* description, Json properties, Json required) {
    Json schema = Json::object();
    schema["type"] = "object";
    schema["properties"] = std::move(properties);
    if (!required.is_null()) schema["required"] = std::move(required);
    Json t = Json::object();
    t["name"] = name;
    t["description"] = description;
    t["inputSchema"] = std::move(schema);
    return t;
}

constexpr const char* kSearchDescription =
    R"(Instant search over every indexed NTFS file/folder name, served from RAM. Words are AND-ed (space separated), "quoted phrases" match with spaces, *.log and setup? are globs, regex:^scan\d+ is a regular expression, path:\Users\me matches the full path, ext:jpg,png filters by extension, size:>10mb / size:1kb..4kb filter by size, folder: and file: filter by type, and -draft excludes. Returns matching full paths, sizes and modified times; an unreadable query comes back as a tool error rather than an empty list.)";

}  // namespace

Json tool_list() {
    Json search_props = Json::object();
    search_props["query"] = prop("string",
        "Search text. Plain word = substring of the name; words are AND-ed; *.ext globs, regex:..., path:..., "
        "ext:a,b, size:>10mb, folder:, file:, and -word to exclude.");
    search_props["drive"] = prop("string", "Drive letter, e.g. C. Defaults to the last indexed drive.");
    search_props["limit"] = prop("integer", "Max results. Default 100.");
    search_props["path"] = prop("boolean", "If true, match against the full path instead of just the name.");

    Json info_props = Json::object();
    info_props["path"] = prop("string", R"(Full path, e.g. C:\Users\me\file.txt.)");

    Json reindex_props = Json::object();
    reindex_props["drive"] = prop("string", "Drive letter to index, e.g. C.");

    Json changes_props = Json::object();
    changes_props["drive"] = prop("string", "Drive letter, e.g. C.");
    changes_props["count"] = prop("integer", "Max events. Default 50.");

    Json tools = Json::array();
    tools.push_back(tool("search", kSearchDescription, std::move(search_props), Json::array({"query"})));
    tools.push_back(tool("get_file_info", "Look up one file or folder by exact full path.", std::move(info_props),
                         Json::array({"path"})));
    tools.push_back(tool("list_drives", "List NTFS volumes available for indexing.", Json::object(), Json()));
    tools.push_back(tool("reindex", "Rebuild the in-memory index from the NTFS MFT (takes a few seconds).",
                         std::move(reindex_props), Json()));
    tools.push_back(tool("recent_changes",
                         "Read the latest file create/delete/rename events from the NTFS USN Change Journal.",
                         std::move(changes_props), Json()));
    return Json{{"tools", std::move(tools)}};
}

}  // namespace nimbalo::mcp
