#include "tests/support/sample_database.h"

#include <array>
#include <cstdint>
#include <string>

namespace quenlow::testing {

namespace {

// A linear congruential sequence: the same rows on every build and every platform.
class Sequence {
  public:
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

  private:
    std::uint64_t state_ = 20240611;
};

const std::array<const char*, 12> kCities = {"Berlin",  "London", "Madrid", "Lyon",    "Graz",    "Oslo",
                                             "Bergamo", "Lisboa", "Cork",   "München", "Sevilla", "Århus"};
const std::array<const char*, 12> kCountries = {"Germany", "UK",      "Spain", "France",
                                                "Austria", "Norway",  "Italy", "Portugal",
                                                "Ireland", "Germany", "Spain", "Denmark"};
const std::array<const char*, 10> kWords = {"Chai", "Chang",   "Syrup",  "Cajun",   "Gumbo",
                                            "Tofu", "Pavlova", "Scones", "Gnocchi", "Ikura"};
const std::array<const char*, 8> kNames = {"Maria Anders", "Ana Trujillo",     "Thomas Hardy",
                                           "Hanna Moos",   "Laurence Lebihan", "Elizabeth Lincoln",
                                           "Yang Wang",    "Pedro Afonso"};

std::string guid_text(Sequence& seq) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
        out += kHex[seq.below(16)];
    }
    return out;
}

std::string cents(int value) {
    std::string s = std::to_string(value / 100) + ".";
    int c = value % 100;
    return s + (c < 10 ? "0" : "") + std::to_string(c);
}

void add_customers(DatabaseSpec& db, Sequence& seq) {
    auto& t = db.add_table("Customers");
    t.add_column("CustomerId", SqlType::Int).with_identity(1, 1);
    t.add_column("Code", SqlType::NChar, 5);
    t.add_column("CompanyName", SqlType::NVarChar, 40);
    t.add_column("ContactName", SqlType::NVarChar, 30, true);
    t.add_column("City", SqlType::NVarChar, 15, true);
    t.add_column("Country", SqlType::NVarChar, 15, true);
    t.add_column("Phone", SqlType::VarChar, 24, true);
    t.add_column("IsActive", SqlType::Bit);
    t.add_column("CreditLimit", SqlType::Money, 0, true);
    t.add_column("RowGuid", SqlType::UniqueIdentifier);
    t.primary_key({"CustomerId"});
    for (int i = 1; i <= kSampleCustomers; ++i) {
        int city = seq.below(static_cast<int>(kCities.size()));
        std::string code =
            std::string(kWords[static_cast<std::size_t>(i % 10)]).substr(0, 3) + std::to_string(10 + i % 90);
        t.add_row(
            {Value::integer(i), Value::text(code.substr(0, 5)),
             Value::text(std::string(kWords[static_cast<std::size_t>(seq.below(10))]) + " Trading " +
                         std::to_string(i)),
             i % 7 == 0 ? Value::null() : Value::text(kNames[static_cast<std::size_t>(seq.below(8))]),
             Value::text(kCities[static_cast<std::size_t>(city)]),
             i % 11 == 0 ? Value::null() : Value::text(kCountries[static_cast<std::size_t>(city)]),
             i % 5 == 0 ? Value::null() : Value::text("030-" + std::to_string(1000000 + seq.below(9000000))),
             Value::boolean(i % 9 != 0),
             i % 4 == 0 ? Value::null() : Value::decimal(cents(100000 + seq.below(5000000))),
             Value::guid(guid_text(seq))});
    }
}

void add_products(DatabaseSpec& db, Sequence& seq) {
    auto& t = db.add_table("Products");
    t.add_column("ProductId", SqlType::Int).with_identity(1, 1);
    t.add_column("ProductName", SqlType::NVarChar, 40);
    t.add_column("UnitPrice", SqlType::Money);
    t.add_column("UnitsInStock", SqlType::SmallInt);
    t.add_column("Discontinued", SqlType::Bit);
    t.add_column("Weight", SqlType::Real, 0, true);
    t.add_column("Rating", SqlType::Float, 0, true);
    t.add_column("CategoryCode", SqlType::Char, 4);
    t.add_column("Sku", SqlType::VarBinary, 16, true);
    t.primary_key({"ProductId"});
    for (int i = 1; i <= kSampleProducts; ++i) {
        std::vector<std::byte> sku;
        for (int k = 0; k < 1 + i % 8; ++k)
            sku.push_back(std::byte{static_cast<std::uint8_t>(seq.below(256))});
        t.add_row(
            {Value::integer(i),
             Value::text(std::string(kWords[static_cast<std::size_t>(i % 10)]) + " No. " + std::to_string(i)),
             Value::decimal(cents(250 + seq.below(25000))), Value::integer(seq.below(130)),
             Value::boolean(i % 13 == 0),
             i % 6 == 0 ? Value::null() : Value::floating(0.25 * (1 + seq.below(40))),
             i % 10 == 0 ? Value::null() : Value::floating(seq.below(50) / 10.0),
             Value::text(std::string("C") + std::to_string(100 + i % 8)),
             i % 3 == 0 ? Value::null() : Value::binary(sku)});
    }
}

void add_orders(DatabaseSpec& db, Sequence& seq) {
    auto& t = db.add_table("Orders");
    t.add_column("OrderId", SqlType::Int).with_identity(10248, 1);
    t.add_column("CustomerId", SqlType::Int);
    t.add_column("OrderDate", SqlType::DateTime);
    t.add_column("ShippedDate", SqlType::DateTime, 0, true);
    t.add_decimal("Freight", 10, 2);
    t.add_column("ShipName", SqlType::NVarChar, 40, true);
    t.add_column("Priority", SqlType::TinyInt);
    t.primary_key({"OrderId"});
    for (int i = 0; i < kSampleOrders; ++i) {
        int day = 1 + i % 28, month = 1 + (i / 28) % 12, year = 1996 + i / 336;
        t.add_row(
            {Value::integer(10248 + i), Value::integer(1 + seq.below(kSampleCustomers)),
             Value::datetime(year, month, day, seq.below(24), seq.below(60), seq.below(60),
                             10 * seq.below(100)),
             i % 17 == 0 ? Value::null() : Value::datetime(year, month, day < 20 ? day + 7 : day, 9, 30),
             Value::decimal(cents(seq.below(100000))),
             i % 23 == 0 ? Value::null()
                         : Value::text(std::string("Ship to ") + kCities[static_cast<std::size_t>(i % 12)]),
             Value::integer(seq.below(4))});
    }
}

void add_order_lines(DatabaseSpec& db, Sequence& seq) {
    auto& t = db.add_table("OrderDetails");
    t.add_column("OrderId", SqlType::Int);
    t.add_column("LineNo", SqlType::SmallInt);
    t.add_column("ProductId", SqlType::Int);
    t.add_column("Quantity", SqlType::Int);
    t.add_column("UnitPrice", SqlType::Money);
    t.add_column("Discount", SqlType::Real);
    t.add_decimal("Total", 12, 2);
    t.add_column("Note", SqlType::VarChar, 60, true);
    t.add_column("OrderLineId", SqlType::BigInt);
    t.primary_key({"OrderId", "LineNo"});
    int line_id = 0;
    for (int order = 0; order < kSampleOrders && line_id < kSampleOrderLines; ++order) {
        int lines = order == kSampleOrders - 1 ? kSampleOrderLines - line_id : 1 + seq.below(4);
        for (int line = 1; line <= lines && line_id < kSampleOrderLines; ++line) {
            int quantity = 1 + seq.below(60), price = 200 + seq.below(9000);
            static constexpr std::array<double, 4> kDiscounts = {0.0, 0.05, 0.1, 0.25};
            t.add_row({Value::integer(10248 + order), Value::integer(line),
                       Value::integer(1 + seq.below(kSampleProducts)), Value::integer(quantity),
                       Value::decimal(cents(price)),
                       Value::floating(kDiscounts[static_cast<std::size_t>(seq.below(4))]),
                       Value::decimal(cents(quantity * price)),
                       line_id % 9 == 0 ? Value::text("gift wrap, deliver before noon") : Value::null(),
                       Value::integer(5000000000LL + line_id)});
            ++line_id;
        }
    }
}

}  // namespace

DatabaseSpec sample_database_spec(Layout layout) {
    DatabaseSpec db;
    db.layout = layout;
    db.name = "QuenlowSample";
    Sequence seq;
    add_customers(db, seq);
    add_products(db, seq);
    add_orders(db, seq);
    add_order_lines(db, seq);
    db.add_foreign_key("FK_Orders_Customers", "Orders", {"CustomerId"}, "Customers", {"CustomerId"});
    db.add_foreign_key("FK_OrderDetails_Orders", "OrderDetails", {"OrderId"}, "Orders", {"OrderId"});
    db.add_foreign_key("FK_OrderDetails_Products", "OrderDetails", {"ProductId"}, "Products", {"ProductId"});
    db.add_default("DF_Products_UnitsInStock", "Products", "UnitsInStock", "((0))");
    db.add_view(
        "CustomerOrders",
        "CREATE VIEW dbo.CustomerOrders AS\r\nSELECT c.CompanyName, o.OrderId, o.OrderDate, o.Freight\r\n"
        "FROM dbo.Customers c JOIN dbo.Orders o ON o.CustomerId = c.CustomerId\r\n");
    db.add_procedure("OrdersOfCustomer",
                     "CREATE PROCEDURE dbo.OrdersOfCustomer @CustomerId int AS\r\nBEGIN\r\n"
                     "  SELECT OrderId, OrderDate FROM dbo.Orders WHERE CustomerId = @CustomerId ORDER BY "
                     "OrderDate\r\nEND\r\n");
    db.add_function(
        "LineTotal",
        "CREATE FUNCTION dbo.LineTotal (@Quantity int, @Price money, @Discount real)\r\nRETURNS money AS\r\n"
        "BEGIN\r\n  RETURN @Quantity * @Price * (1 - @Discount)\r\nEND\r\n");
    db.add_trigger("OrdersStampShipped", "Orders",
                   "CREATE TRIGGER dbo.OrdersStampShipped ON dbo.Orders AFTER UPDATE AS\r\n"
                   "UPDATE dbo.Orders SET Priority = 0 WHERE OrderId IN (SELECT OrderId FROM inserted WHERE "
                   "ShippedDate IS NOT NULL)\r\n");
    return db;
}

}  // namespace quenlow::testing
