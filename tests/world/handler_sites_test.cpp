#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "world/handler_sites.h"

namespace {

TEST(HandlerSitesTest, ViewsAndObjectsCallTheSameHandlerWithTheirOwnSignatures) {
  const struct {
    std::string_view kind, handler, signature;
  } kCases[] = {
      {kSiteView, "OnMouseEnter", "void, int, int, str"},
      {kSiteVisual, "OnMouseEnter", "void"},
      {kSiteView, "OnClick", "void, int, int, str"},
      {kSiteVisual, "OnDetach", "bool, str idHolder, TRect* rc"},
      {kSiteObject, "IsActive", "bool"},
      {kSiteViewSet, "OnEntry", "void"},
      {kSiteViewSet, "OnNIS", "void"},
  };
  for (const auto& c : kCases) {
    const SHandlerSite* site = FindHandlerSite(c.kind, c.handler);
    ASSERT_NE(site, nullptr) << c.kind << " " << c.handler;
    EXPECT_EQ(site->signature, c.signature) << c.kind << " " << c.handler;
  }
  EXPECT_EQ(FindHandlerSite(kSiteObject, "OnClick"), nullptr);
  EXPECT_EQ(FindHandlerSite(kSiteVisual, "onmouseenter"), nullptr);
}

TEST(HandlerSitesTest, EachHandlerHasOneRowPerKind) {
  std::set<std::pair<std::string_view, std::string_view>> seen;
  for (const SHandlerSite& site : HandlerSites())
    EXPECT_TRUE(seen.insert({site.kind, site.handler}).second) << site.handler;
}

}  // namespace
