[Generic settings]
src=three_sheets.xlsx
mode=0

[MS Excel settings]
extract field names=1

[Selected Tables]
Customers
Orders

[Type Mappings]
tables:
  - name: Orders
    fields:
      - name: order_no
        status: deleted
      - name: customer_id
        status: deleted
      - name: amount
        status: deleted
      - name: ordered
        status: deleted
