#pragma once

// The product's name and version, set once in the build (CMakeLists.txt).
constexpr char productName[] = TOLVO_PRODUCT_NAME;
constexpr char productVersion[] = TOLVO_PRODUCT_VERSION;
