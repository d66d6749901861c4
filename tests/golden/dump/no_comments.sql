
SET NAMES utf8;
/*!40101 SET SESSION sql_mode=CONCAT_WS(',', NULLIF(TRIM(BOTH ',' FROM REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(CONCAT(',', @@SESSION.sql_mode, ','), ',NO_BACKSLASH_ESCAPES,', ','), ',ANSI_QUOTES,', ','), ',ANSI,', ','), ',DB2,', ','), ',MAXDB,', ','), ',MSSQL,', ','), ',ORACLE,', ','), ',POSTGRESQL,', ','), ',EMPTY_STRING_IS_NULL,', ',')), ''), 'NO_ENGINE_SUBSTITUTION', 'STRICT_ALL_TABLES') */;
DROP TABLE IF EXISTS `sales` CASCADE;
CREATE TABLE `sales` (
  `id` VARCHAR(255),
  `name` VARCHAR(255),
  `amount` VARCHAR(255),
  `day` VARCHAR(255),
  `note` VARCHAR(255)
) ENGINE=InnoDB character set utf8;
LOCK TABLES `sales` WRITE;
INSERT INTO `sales`(`id`, `name`, `amount`, `day`, `note`) VALUES('1', 'O\'Brien\\x', '12.50', '2024-01-31', 'say "hi"'), ('2', 'Müller', '-3', '2024-02-29', 'two\nlines'), ('3', '', '', '', '') ON DUPLICATE KEY UPDATE `id` = `id`;
UPDATE `sales` SET `day` = NULL WHERE `day` = '';
ALTER TABLE `sales` MODIFY `day` DATE;
ALTER TABLE `sales` MODIFY `id` INT;
UPDATE `sales` SET `amount` = NULL WHERE `amount` = '';
ALTER TABLE `sales` MODIFY `amount` DOUBLE;
UNLOCK TABLES;
COMMIT;
