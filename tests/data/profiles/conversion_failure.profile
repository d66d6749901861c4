[Generic settings]
src=conversion_failure.csv
dest=gridload_profiles
mode=1

[MS Excel settings]
convert from xls=0
extract field names=1
refine types=0

[MySQL settings]
direct mode=1
host=127.0.0.1
user=root
port=3306

[Type Mappings]
tables:
  - name: payments
    fields:
      - name: amount
        type: DECIMAL
        precision: 10
        scale: 2
