#include "app/object_tree.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/app/fake_front_end.h"

namespace quenlow {
namespace {

constexpr const char* kEmptyCategories =
    "C:\\data\\shop.mdf\n"
    "  Views\n"
    "  Programmability\n"
    "    Triggers\n"
    "    Default\n"
    "    Store Procedure\n"
    "    Function\n"
    "  Tables\n"
    "    System Tables\n"
    "    User Tables\n";

SchemaObjectRow object(std::string name, std::string type) {
    SchemaObjectRow row;
    row.name = std::move(name);
    row.type = std::move(type);
    return row;
}

// A database of two blank pages: it opens, and a catalog can be hung on it.
std::unique_ptr<OpenedDatabase> open_blank(MemoryFileSystem& files, EngineState& state,
                                           EngineEvents& events) {
    files.add_file("/blank.mdf", std::vector<std::byte>(2 * 8192));
    return OpenedDatabase::open("/blank.mdf", ReadOptions{}, {state, events, files});
}

// Builds the tree of a hand-filled catalog; tables are "assembled" from a table of columns and data pages.
class BuildTreeTest : public ::testing::Test {
protected:
    struct TableShape {
        int columns = 0;
        int data_pages = 0;
    };

    bool build(std::vector<SchemaObjectRow> objects) {
        catalog.objects = std::move(objects);
        categories = create_categories(tree, "C:\\data\\shop.mdf");
        const TreeBuildContext context{catalog, assemble, definitions, front,
                                       [this](std::string_view text) { announced.emplace_back(text); }};
        return build_tree(tree, categories, context);
    }

    MemoryFileSystem files;
    EngineState state;
    NullEngineEvents null_events;
    std::unique_ptr<OpenedDatabase> database = open_blank(files, state, null_events);
    test::FakeFrontEnd front;
    ObjectTree tree{&front};
    TreeCategories categories;
    SystemCatalog catalog{*database};
    std::vector<DefinitionFragment> definitions;
    std::vector<std::string> announced;
    std::map<std::string, TableShape> shapes;
    std::vector<std::string> assembled;
    std::vector<std::int32_t> assembled_ids;
    ObjectAssembler assemble = [this](SystemCatalog& c, const ObjectQuery& object,
                                      const std::vector<DefinitionFragment>&) {
        assembled.push_back(object.type + object.name);
        assembled_ids.push_back(object.object_id.value_or(-1));
        const TableShape shape = shapes[object.name];
        c.current_data_pages.assign(static_cast<std::size_t>(shape.data_pages), PageAddress{1, 100});
        c.column_descriptors.assign(static_cast<std::size_t>(shape.columns), ColumnDescriptor{});
        return c.column_descriptors;
    };
};

TEST(ObjectTree, CategoriesReadInReverseOfTheirInsertion) {
    test::FakeFrontEnd front;
    ObjectTree tree(&front);
    const TreeCategories c = create_categories(tree, "C:\\data\\shop.mdf");
    EXPECT_EQ(format_outline(tree), kEmptyCategories);
    EXPECT_EQ(front.mirrored_outline(), kEmptyCategories);
    for (TreeItemId item : {c.tables, c.user_tables, c.system_tables, c.programmability, c.function,
                            c.store_procedure, c.views, c.default_item, c.triggers}) {
        EXPECT_EQ(tree.item_data(item), 0u);
        EXPECT_TRUE(c.is_root_or_category(item));
    }
    EXPECT_EQ(tree.item_parent(c.user_tables), c.tables);
    EXPECT_EQ(tree.item_parent(c.root), kNoItem);
}

TEST(ObjectTree, TypeCodesChooseTheirCategory) {
    ObjectTree tree;
    const TreeCategories c = create_categories(tree, "f");
    const std::map<std::string, TreeItemId> expected = {
        {"U ", c.user_tables},  {"S ", c.system_tables}, {"V ", c.views},    {"P ", c.store_procedure},
        {"FN", c.function},     {"IF", c.function},      {"TF", c.function}, {"TR", c.triggers},
        {"D ", c.default_item}, {"PK", kNoItem},         {"F ", kNoItem},    {"U", kNoItem},
        {"IT", kNoItem},        {"", kNoItem},
    };
    for (const auto& [type, category] : expected) EXPECT_EQ(c.category_for_type(type), category) << type;
}

TEST(ObjectTree, SortIgnoresCaseAndKeepsEqualTextsInOrder) {
    test::FakeFrontEnd front;
    ObjectTree tree(&front);
    const TreeItemId parent = tree.insert_item("p", kNoItem, InsertPosition::kLast);
    for (const char* text : {"beta", "Alpha", "_x", "alpha", "Zed", "\xC3\xA9t\xC3\xA9", "b"})
        tree.insert_item(text, parent, InsertPosition::kLast);
    tree.sort_children(parent);
    std::vector<std::string> order;
    for (TreeItemId id : tree.children(parent)) order.push_back(tree.item_text(id));
    EXPECT_EQ(order,
              (std::vector<std::string>{"_x", "Alpha", "alpha", "b", "beta", "Zed", "\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(front.mirrored_outline(), format_outline(tree));
}

// Items inserted first and last under one parent, before and after a sort, stand where the two positions
// put them; the front end's copy agrees at every step.
TEST(ObjectTree, FirstAndLastInsertionsKeepTheirPlacesAroundASort) {
    test::FakeFrontEnd front;
    ObjectTree tree(&front);
    const TreeItemId parent = tree.insert_item("p", kNoItem, InsertPosition::kLast);
    auto texts = [&] {
        std::vector<std::string> out;
        for (TreeItemId id : tree.children(parent)) out.push_back(tree.item_text(id));
        return out;
    };
    using Texts = std::vector<std::string>;
    const std::vector<std::pair<const char*, InsertPosition>> inserts = {{"m", InsertPosition::kLast},
                                                                         {"d", InsertPosition::kFirst},
                                                                         {"x", InsertPosition::kLast},
                                                                         {"b", InsertPosition::kFirst}};
    for (const auto& [text, position] : inserts) tree.insert_item(text, parent, position);
    EXPECT_EQ(texts(), (Texts{"b", "d", "m", "x"}));
    EXPECT_EQ(tree.item_text(tree.first_child(parent)), "b");
    EXPECT_EQ(front.mirrored_outline(), format_outline(tree));

    tree.insert_item("a", parent, InsertPosition::kLast);
    tree.sort_children(parent);
    EXPECT_EQ(texts(), (Texts{"a", "b", "d", "m", "x"}));
    tree.insert_item("z", parent, InsertPosition::kFirst);
    tree.insert_item("c", parent, InsertPosition::kLast);
    EXPECT_EQ(texts(), (Texts{"z", "a", "b", "d", "m", "x", "c"}));
    EXPECT_EQ(tree.item_text(tree.first_child(parent)), "z");
    EXPECT_EQ(front.mirrored_outline(), format_outline(tree));

    const TreeItemId leaf = tree.first_child(parent);
    EXPECT_TRUE(tree.children(leaf).empty());
    EXPECT_EQ(tree.first_child(leaf), kNoItem);
    EXPECT_TRUE(tree.children(9999).empty());
    EXPECT_EQ(tree.first_child(9999), kNoItem);
}

TEST(ObjectTree, IdsAreNotReusedAfterDeleteAll) {
    ObjectTree tree;
    const TreeItemId old_root = tree.insert_item("old", kNoItem, InsertPosition::kLast);
    tree.delete_all();
    EXPECT_TRUE(tree.empty());
    EXPECT_FALSE(tree.contains(old_root));
    const TreeItemId new_root = tree.insert_item("new", kNoItem, InsertPosition::kLast);
    EXPECT_NE(new_root, old_root);
    EXPECT_EQ(tree.item_text(old_root), "");
    EXPECT_EQ(tree.insert_item("orphan", old_root, InsertPosition::kFirst), kNoItem);
}

TEST(ObjectTree, ClickRule) {
    struct Case {
        TreeHitPart part;
        MouseButton button;
        bool select;
        bool show;
    };
    const Case cases[] = {
        {TreeHitPart::kLabel, MouseButton::kLeft, true, true},
        {TreeHitPart::kIcon, MouseButton::kLeft, true, false},
        {TreeHitPart::kCheckBox, MouseButton::kLeft, true, false},
        {TreeHitPart::kButton, MouseButton::kLeft, true, false},
        {TreeHitPart::kBeside, MouseButton::kLeft, true, false},
        {TreeHitPart::kLabel, MouseButton::kRight, true, false},
        {TreeHitPart::kNowhere, MouseButton::kLeft, false, false},
        {TreeHitPart::kNowhere, MouseButton::kRight, false, false},
    };
    for (const auto& c : cases) {
        const TreeClickResult r = tree_click(c.part, c.button);
        EXPECT_EQ(r.select, c.select) << static_cast<int>(c.part) << "/" << static_cast<int>(c.button);
        EXPECT_EQ(r.show_object, c.show) << static_cast<int>(c.part) << "/" << static_cast<int>(c.button);
    }
}

TEST_F(BuildTreeTest, ObjectsGoFirstUnderTheirCategoryAndProgrammabilityIsSorted) {
    shapes["orders"] = {3, 2};
    ASSERT_TRUE(
        build({object("a", "V "), object("b", "V "), object("zeta_proc", "P "), object("Alpha_proc", "P "),
               object("f2", "FN"), object("F1", "TF"), object("trg", "TR"), object("df", "D "),
               object("sysrowsets", "S "), object("orders", "U "), object("pk_orders", "PK")}));
    EXPECT_EQ(format_outline(tree),
              "C:\\data\\shop.mdf\n"
              "  Views\n"
              "    b\n"
              "    a\n"
              "  Programmability\n"
              "    Triggers\n"
              "      trg\n"
              "    Default\n"
              "      df\n"
              "    Store Procedure\n"
              "      Alpha_proc\n"
              "      zeta_proc\n"
              "    Function\n"
              "      F1\n"
              "      f2\n"
              "  Tables\n"
              "    System Tables\n"
              "      sysrowsets\n"
              "        Columns\n"
              "    User Tables\n"
              "      orders *\n"
              "        Columns\n");
    EXPECT_EQ(front.mirrored_outline(), format_outline(tree));
    EXPECT_EQ(assembled, (std::vector<std::string>{"S sysrowsets", "U orders"}));
    EXPECT_EQ(announced, (std::vector<std::string>{"Creating Tree.........", "Process done........."}));

    const TreeItemId orders = tree.first_child(categories.user_tables);
    EXPECT_EQ(tree.item_data(orders), 1u);
    EXPECT_EQ(tree.item_data(tree.first_child(orders)), 0u);
    EXPECT_EQ(tree.item_data(tree.first_child(categories.views)), 1u);
}

TEST_F(BuildTreeTest, BoldNeedsBothColumnsAndDataPages) {
    shapes["full"] = {2, 1};
    shapes["no_pages"] = {2, 0};
    shapes["no_columns"] = {0, 4};
    shapes["nothing"] = {0, 0};
    ASSERT_TRUE(build({object("full", "U "), object("no_pages", "U "), object("no_columns", "U "),
                       object("nothing", "U ")}));
    std::map<std::string, bool> bold;
    for (TreeItemId id : tree.children(categories.user_tables)) bold[tree.item_text(id)] = tree.is_bold(id);
    EXPECT_EQ(bold, (std::map<std::string, bool>{
                        {"full", true}, {"no_pages", false}, {"no_columns", false}, {"nothing", false}}));
}

TEST_F(BuildTreeTest, ProgressRunsOverTheWholeObjectList) {
    ASSERT_TRUE(build({object("v", "V "), object("", "V "), object("x", "IT")}));
    EXPECT_EQ(front.calls_starting("range "), (std::vector<std::string>{"0..3"}));
    EXPECT_EQ(front.calls_starting("position "), (std::vector<std::string>{"0", "0", "2", "3"}));
}

TEST_F(BuildTreeTest, UnshownTypesCountButEmptyNamesDoNot) {
    EXPECT_TRUE(build({object("pk", "PK"), object("it", "IT")}));
    EXPECT_EQ(format_outline(tree), kEmptyCategories);

    tree.delete_all();
    announced.clear();
    EXPECT_FALSE(build({object("", "U "), object("", "V ")}));
    EXPECT_EQ(format_outline(tree), kEmptyCategories);
    EXPECT_TRUE(assembled.empty());
}

TEST_F(BuildTreeTest, EmptyObjectListBuildsNothing) {
    EXPECT_FALSE(build({}));
    EXPECT_TRUE(announced.empty());
    EXPECT_TRUE(front.calls_starting("range ").empty());
}

SchemaObjectRow object_in(std::int32_t id, std::string name, std::string type, std::int32_t schema) {
    SchemaObjectRow row = object(std::move(name), std::move(type));
    row.object_id = id;
    row.schema_id = schema;
    return row;
}

// Objects of one category that share a name read "schema.name" and keep their own ids; a name shared
// across categories, or not shared, stays plain. A schema the catalog does not name reads as its id.
TEST_F(BuildTreeTest, SharedNamesReadWithTheirSchemaAndItemsKeepTheirObjects) {
    catalog.schemas = {{1, "dbo"}, {5, "test"}};
    ASSERT_TRUE(build({object_in(10, "Items", "U ", 1), object_in(11, "Items", "U ", 5),
                       object_in(12, "Items", "V ", 1), object_in(13, "Orders", "U ", 5),
                       object_in(14, "Items", "U ", 9)}));
    std::vector<std::string> texts;
    std::vector<std::int32_t> ids;
    for (TreeItemId item : tree.children(categories.user_tables)) {
        texts.push_back(tree.item_text(item));
        ASSERT_NE(tree.item_object(item), nullptr);
        ids.push_back(tree.item_object(item)->object_id);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"9.Items", "Orders", "test.Items", "dbo.Items"}));
    EXPECT_EQ(ids, (std::vector<std::int32_t>{14, 13, 11, 10}));
    EXPECT_EQ(tree.item_text(tree.first_child(categories.views)), "Items");
    EXPECT_EQ(tree.item_object(tree.first_child(categories.views))->schema, "dbo");
    EXPECT_EQ(tree.item_object(categories.user_tables), nullptr);
    EXPECT_EQ(assembled_ids, (std::vector<std::int32_t>{10, 11, 13, 14}));

    // A user's name: the item text first, then "schema.name", then the bare name (several when shared).
    auto found = [&](const std::string& name) {
        std::vector<std::int32_t> out;
        for (TreeItemId item : find_object_items(tree, {categories.views, categories.user_tables}, name))
            out.push_back(tree.item_object(item)->object_id);
        return out;
    };
    EXPECT_EQ(found("test.Items"), (std::vector<std::int32_t>{11}));
    EXPECT_EQ(found("test.Orders"), (std::vector<std::int32_t>{13}));
    EXPECT_EQ(found("Orders"), (std::vector<std::int32_t>{13}));
    EXPECT_EQ(found("Items"), (std::vector<std::int32_t>{12}));  // the view's text is the bare name
    EXPECT_EQ(found("dbo.Items"), (std::vector<std::int32_t>{10}));
    EXPECT_EQ(found("Nothing").size(), 0u);
    EXPECT_EQ(find_object_items(tree, {categories.user_tables}, "Items").size(), 3u);
}

TEST_F(BuildTreeTest, WithoutAssemblyNoTableIsBold) {
    assemble = nullptr;
    catalog.column_descriptors.assign(2, ColumnDescriptor{});
    catalog.current_data_pages.assign(2, PageAddress{1, 9});
    ASSERT_TRUE(build({object("t", "U ")}));
    EXPECT_FALSE(tree.is_bold(tree.first_child(categories.user_tables)));
}

}  // namespace
}  // namespace quenlow
