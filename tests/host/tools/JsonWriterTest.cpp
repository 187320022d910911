#include "JsonWriter.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonWriter, NestsAndEscapes)
{
    CJsonWriter j;
    j.beginObject();
    j.string("name", "a\"b\\c\n\x01\xE9");
    j.number("size", -5);
    j.boolean("ok", true);
    j.null("none");
    j.beginArray("list");
    j.number(nullptr, 1);
    j.beginObject();
    j.endObject();
    j.endArray();
    j.beginArray("empty");
    j.endArray();
    j.endObject();
    EXPECT_EQ(j.text(), "{\n"
                        "  \"name\": \"a\\\"b\\\\c\\n\\u0001\\u00e9\",\n"
                        "  \"size\": -5,\n"
                        "  \"ok\": true,\n"
                        "  \"none\": null,\n"
                        "  \"list\": [\n"
                        "    1,\n"
                        "    {}\n"
                        "  ],\n"
                        "  \"empty\": []\n"
                        "}\n");
}

} // namespace
