[Generic settings]
src=override_order.csv
dest=profile_db
mode=2

[MS Excel settings]
convert from xls=0
extract field names=1
refine types=yes

[MySQL settings]
direct mode=1
host=127.0.0.1
user=root
port=3306
