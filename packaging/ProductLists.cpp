// Fills a package file's template with the Apple monitors of the engine's
// product table, so that the table stays the only list of them:
//
//   product-lists <template> <output>
//
// Placeholders:
//   @APPLE_VENDOR@                 the vendor as udev reads idVendor ("05ac")
//   @TWELVE_PRODUCTS@              udev alternatives of the twelve ("9215|9217|...")
//   @MORE_REPORT16_PRODUCTS@       of the second table's report-16 displays
//   @MONITOR_COLLECTION_PRODUCTS@  of the displays found by their Monitor collection
//   @MODALIAS_LINES@               one AppStream <modalias> a product, every product,
//                                  each line indented as the placeholder is
// udev compares idProduct as the kernel writes it in sysfs, four lower-case hex
// digits; a USB modalias spells them in upper case ("usb:v05ACp9215d*").
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/AppleMonitorProducts.h"

namespace {

using duolume::BrightnessRoute;

std::string hex4(std::int64_t value, bool upper) {
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04llX" : "%04llx", static_cast<long long>(value));
    return text;
}

std::string alternatives(const std::vector<std::int64_t>& products) {
    std::string joined;
    for (auto product : products)
        joined += (joined.empty() ? "" : "|") + hex4(product, false);
    return joined;
}

std::vector<std::int64_t> secondTable(BrightnessRoute route) {
    std::vector<std::int64_t> products;
    for (const auto& p : duolume::kMoreAppleDisplayProducts)
        if (p.route == route)
            products.push_back(p.productID);
    return products;
}

std::string modaliasLines(const std::string& indent) {
    std::vector<std::int64_t> all(duolume::kAppleMonitorProductIDs.begin(),
                                  duolume::kAppleMonitorProductIDs.end());
    for (const auto& p : duolume::kMoreAppleDisplayProducts)
        all.push_back(p.productID);
    std::string lines;
    for (auto product : all) {
        lines += (lines.empty() ? "" : "\n" + indent) + "<modalias>usb:v" +
                 hex4(duolume::kAppleUSBVendorID, true) + "p" + hex4(product, true) +
                 "d*</modalias>";
    }
    return lines;
}

void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: product-lists <template> <output>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "product-lists: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::stringstream read;
    read << in.rdbuf();
    std::string text = read.str();

    // The modalias lines keep the indentation of the line they replace.
    for (auto at = text.find("@MODALIAS_LINES@"); at != std::string::npos;
         at = text.find("@MODALIAS_LINES@")) {
        const auto lineStart = text.rfind('\n', at) + 1;
        const std::string indent = text.substr(lineStart, at - lineStart);
        text.replace(at, std::string("@MODALIAS_LINES@").size(), modaliasLines(indent));
    }
    replaceAll(text, "@APPLE_VENDOR@", hex4(duolume::kAppleUSBVendorID, false));
    replaceAll(text, "@TWELVE_PRODUCTS@",
               alternatives({duolume::kAppleMonitorProductIDs.begin(),
                             duolume::kAppleMonitorProductIDs.end()}));
    replaceAll(text, "@MORE_REPORT16_PRODUCTS@",
               alternatives(secondTable(BrightnessRoute::ReportSixteen)));
    replaceAll(text, "@MONITOR_COLLECTION_PRODUCTS@",
               alternatives(secondTable(BrightnessRoute::MonitorCollection)));
    std::smatch unknown;
    if (std::regex_search(text, unknown, std::regex("@[A-Z0-9_]+@"))) {
        std::cerr << "product-lists: " << argv[1]
                  << " has a placeholder this program does not know: " << unknown.str() << "\n";
        return 1;
    }
    std::ofstream out(argv[2]);
    out << text;
    return out ? 0 : 1;
}
