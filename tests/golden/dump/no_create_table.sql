# File name: C:/dumps/sales.sql
# Creation date: 01/02/2030
# Created by Gridloader 7.1
# --------------------------------------------------
# More conversion tools at https://gridload.example.org/

SET NAMES utf8;
/*!40101 SET SESSION sql_mode=CONCAT_WS(',', NULLIF(TRIM(BOTH ',' FROM REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(CONCAT(',', @@SESSION.sql_mode, ','), ',NO_BACKSLASH_ESCAPES,', ','), ',ANSI_QUOTES,', ','), ',ANSI,', ','), ',DB2,', ','), ',MAXDB,', ','), ',MSSQL,', ','), ',ORACLE,', ','), ',POSTGRESQL,', ','), ',EMPTY_STRING_IS_NULL,', ',')), ''), 'NO_ENGINE_SUBSTITUTION', 'STRICT_ALL_TABLES') */;

#
# Dumping data for table 'sales'
#

LOCK TABLES `sales` WRITE;
INSERT INTO `sales`(`id`, `name`, `amount`, `day`, `note`) VALUES('1', 'O\'Brien\\x', '12.50', '2024-01-31', 'say "hi"'), ('2', 'Müller', '-3', '2024-02-29', 'two\nlines'), ('3', '', '', '', '') ON DUPLICATE KEY UPDATE `id` = `id`;
UNLOCK TABLES;
COMMIT;
