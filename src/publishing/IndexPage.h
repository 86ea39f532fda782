// "orvanel.html": a small page of our own, uploaded with the pictures, that shows them with the
// latest values, so that an observatory has a working sky page without writing one.
#pragma once

#include <cstdint>
#include <string>

// The page from the text of "infodata.txt" (name = value lines; empty before the first reading),
// reloading itself every refreshSeconds (at least 10), stamped with `stamp`.
std::string IndexPageHtml(const std::string& infoDataText, uint32_t refreshSeconds, const std::string& stamp);
// Writes the page to path from PathDatas + "infodata.txt", replaced whole. Raises EOrvanelError.
void WriteIndexPage(const std::string& path, uint32_t refreshSeconds);
